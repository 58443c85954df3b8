# Server pages: the page engine, the request variable functions and the page
# branch the web server calls. Added to the server library, which then needs
# the script engine (tvs_engine).
set(TERVALO_PAGES_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/uDSPEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uc_Variables.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uPageRequest.cpp
)
