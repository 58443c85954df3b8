set(TVS_SYMBOLS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tvsStack.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsSymbols.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsSymbols_Routines.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsSymbols_Classes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsUnitSymbols.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsMethodCallFactory.cpp
)
