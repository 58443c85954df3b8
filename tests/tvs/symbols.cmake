# Tests of the engine's symbols layer, relative to this folder.
set(TVS_SYMBOLS_TESTS
    tvsStack_test.cpp
    tvsSymbols_test.cpp
    tvsUnitSymbols_test.cpp
    tvsMethodCallFactory_test.cpp
)
