# Tests of the tvs_core layer.
