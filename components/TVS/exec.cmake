set(TVS_EXEC_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tvsExprs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsCoreExprs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsRelExprs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsGuardian.cpp
)
