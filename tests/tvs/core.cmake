# Tests of the engine's core layer, relative to this folder.
set(TVS_CORE_TESTS
    tvsExceptions_test.cpp
    tvsUtils_test.cpp
    tvsVariant_test.cpp
    tvsXPlatform_test.cpp
)
