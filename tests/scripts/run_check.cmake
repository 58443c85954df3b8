# Runs `tervalo run` on one script and checks the exit status, the exact
# standard output and, optionally, a pattern the standard error must match.
#   cmake -DTERVALO=... -DSCRIPT=... -DEXPECT_EXIT=N [-DEXPECT_STDOUT=text]
#         [-DEXPECT_STDERR_REGEX=pattern] [-DTIMEOUT=MS] -P run_check.cmake
# EXPECT_STDOUT spells a carriage return as \r and a line feed as \n.
string(ASCII 13 CR)
string(ASCII 10 LF)
# Output goes through files: execute_process drops carriage returns from
# output variables, and they are part of what is checked.
get_filename_component(name "${SCRIPT}" NAME_WE)
set(outFile "${CMAKE_CURRENT_BINARY_DIR}/run_check_${name}.out")
set(expectedFile "${CMAKE_CURRENT_BINARY_DIR}/run_check_${name}.expected")
set(runArgs)
if(DEFINED TIMEOUT)
    set(runArgs --timeout "${TIMEOUT}")
endif()
execute_process(COMMAND "${TERVALO}" run "${SCRIPT}" ${runArgs}
                RESULT_VARIABLE rc OUTPUT_FILE "${outFile}" ERROR_VARIABLE err TIMEOUT 60)
file(READ "${outFile}" out HEX)
if(NOT rc STREQUAL "${EXPECT_EXIT}")
    message(FATAL_ERROR "exit status ${rc}, expected ${EXPECT_EXIT}\nstderr: ${err}")
endif()
if(DEFINED EXPECT_STDOUT)
    string(REPLACE "\\r" "${CR}" expected "${EXPECT_STDOUT}")
    string(REPLACE "\\n" "${LF}" expected "${expected}")
    file(WRITE "${expectedFile}" "${expected}")
    file(READ "${expectedFile}" expectedHex HEX)
    if(NOT out STREQUAL expectedHex)
        message(FATAL_ERROR "stdout bytes were [${out}], expected [${expectedHex}]")
    endif()
endif()
if(DEFINED EXPECT_STDERR_REGEX AND NOT err MATCHES "${EXPECT_STDERR_REGEX}")
    message(FATAL_ERROR "stderr [${err}] does not match [${EXPECT_STDERR_REGEX}]")
endif()
