set(TVS_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tvsExceptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsUtils.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsVariant.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsXPlatform.cpp
)
