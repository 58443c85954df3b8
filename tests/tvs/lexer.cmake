# Tests of the tvs_lexer layer.
