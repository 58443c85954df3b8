# The string function library: the plain functions and their registration.
set(TVS_STRINGS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tvsStringFunctions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsStringFunctions_Register.cpp
)
