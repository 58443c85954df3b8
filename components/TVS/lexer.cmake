set(TVS_LEXER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tvsErrors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsTokenizer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsPascalTokenizer.cpp
)
