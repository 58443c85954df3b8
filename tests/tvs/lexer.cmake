# Tests of the engine's lexer layer, relative to this folder.
set(TVS_LEXER_TESTS
    tvsErrors_test.cpp
    tvsTokenizer_test.cpp
    tvsPascalTokenizer_test.cpp
)
