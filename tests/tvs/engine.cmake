# Tests of the engine's engine layer, relative to this folder.
set(TVS_ENGINE_TESTS
    tvsFileSystem_test.cpp
    tvsHtmlFilter_test.cpp
)
