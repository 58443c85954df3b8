# Tests of the tvs_symbols layer.
