# Tests of the engine's core layer, relative to this folder.
set(TVS_CORE_TESTS
)
