# Tests of the engine's compiler layer, relative to this folder.
set(TVS_COMPILER_TESTS
)
