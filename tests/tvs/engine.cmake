# Tests of the engine's engine layer, relative to this folder.
set(TVS_ENGINE_TESTS
)
