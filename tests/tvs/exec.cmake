# Tests of the engine's exec layer, relative to this folder.
set(TVS_EXEC_TESTS
)
