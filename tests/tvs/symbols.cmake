# Tests of the engine's symbols layer, relative to this folder.
set(TVS_SYMBOLS_TESTS
)
