# Tests of server pages: the page engine, the request variable functions and
# page requests through the real server on 127.0.0.1. They include
# HttpTestClient.h from tests/server.
set(TERVALO_PAGES_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/uDSPEngine_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uc_Variables_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uPageRequest_test.cpp
)
