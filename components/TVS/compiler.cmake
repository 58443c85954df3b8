# The compiler, the script component with its configuration, function
# registration with the system routines, and the host's view of calls.
set(TVS_COMPILER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tvsCompiler.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsCompiler_Stmt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsCompiler_Expr.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsCompiler_Calls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsCompiler_Special.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsComp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsFunctions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tvsInfo.cpp
)
