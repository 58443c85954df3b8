# Tests of the string function library, relative to this folder.
set(TVS_STRINGS_TESTS
    tvsStringFunctions_test.cpp
)
