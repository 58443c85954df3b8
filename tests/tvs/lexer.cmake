# Tests of the engine's lexer layer, relative to this folder.
set(TVS_LEXER_TESTS
)
