# Tests of the engine's exec layer, relative to this folder.
set(TVS_EXEC_TESTS
    tvsExprs_test.cpp
    tvsCoreExprs_test.cpp
    tvsRelExprs_test.cpp
    tvsConvExprs_test.cpp
    tvsOperators_test.cpp
    tvsMagicExprs_test.cpp
    tvsGuardian_test.cpp
)
