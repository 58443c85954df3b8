set(TVS_ENGINE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tvsFileSystem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsFilter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsHtmlFilter.cpp
)
