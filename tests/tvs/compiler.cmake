# Tests of the engine's compiler layer, relative to this folder.
set(TVS_COMPILER_TESTS
    tvsCompiler_test.cpp
    tvsCompiler_Calls_test.cpp
    tvsScripts_test.cpp
)

# A few runs of the real binary: what reaches stdout, stderr and the exit
# status is the command's contract, which the in-process tests cannot see.
set(TVS_SCRIPTS "${PROJECT_SOURCE_DIR}/tests/scripts")
set(TVS_RUN_CHECK "${TVS_SCRIPTS}/run_check.cmake")
add_test(NAME tervalo_run.hello_crlf
         COMMAND ${CMAKE_COMMAND} -DTERVALO=$<TARGET_FILE:tervalo>
                 -DSCRIPT=${TVS_SCRIPTS}/basics/hello_crlf.pas -DEXPECT_EXIT=0
                 "-DEXPECT_STDOUT=Hello, world!\\r\\na1\\r\\n" -P ${TVS_RUN_CHECK})
add_test(NAME tervalo_run.compile_error
         COMMAND ${CMAKE_COMMAND} -DTERVALO=$<TARGET_FILE:tervalo>
                 -DSCRIPT=${TVS_SCRIPTS}/errors/syntax.pas -DEXPECT_EXIT=1 -DEXPECT_STDOUT=
                 "-DEXPECT_STDERR_REGEX=^Syntax Error: \";\" expected. \\[line: 3, column: 1\\]"
                 -P ${TVS_RUN_CHECK})
add_test(NAME tervalo_run.runtime_error
         COMMAND ${CMAKE_COMMAND} -DTERVALO=$<TARGET_FILE:tervalo>
                 -DSCRIPT=${TVS_SCRIPTS}/integers/divzero.pas -DEXPECT_EXIT=2
                 "-DEXPECT_STDOUT=before\\r\\n"
                 "-DEXPECT_STDERR_REGEX=^Runtime Error: Division by zero \\[line: 5, column: 3\\]"
                 -P ${TVS_RUN_CHECK})
add_test(NAME tervalo_run.timeout
         COMMAND ${CMAKE_COMMAND} -DTERVALO=$<TARGET_FILE:tervalo>
                 -DSCRIPT=${TVS_SCRIPTS}/runtime/timeout.pas -DEXPECT_EXIT=2
                 -DTIMEOUT=200 "-DEXPECT_STDOUT=started\\r\\n"
                 "-DEXPECT_STDERR_REGEX=Runtime Error: Script was stopped\\."
                 -P ${TVS_RUN_CHECK})
add_test(NAME tervalo_run.missing_file
         COMMAND ${CMAKE_COMMAND} -DTERVALO=$<TARGET_FILE:tervalo>
                 -DSCRIPT=${TVS_SCRIPTS}/no_such_script.pas -DEXPECT_EXIT=66 -DEXPECT_STDOUT=
                 -P ${TVS_RUN_CHECK})
