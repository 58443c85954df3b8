# Tests of the tvs_engine layer.
