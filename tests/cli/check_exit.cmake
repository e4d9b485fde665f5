# Runs PROGRAM with the ;-separated ARGS and fails unless its exit status is EXPECTED and,
# when STDERR is given, its standard error matches that regular expression. With OUTPUT_FILE
# the standard output goes to that file (such as /dev/full).
if(DEFINED OUTPUT_FILE)
  execute_process(COMMAND ${PROGRAM} ${ARGS}
                  RESULT_VARIABLE status
                  OUTPUT_FILE ${OUTPUT_FILE}
                  ERROR_VARIABLE err)
else()
  execute_process(COMMAND ${PROGRAM} ${ARGS}
                  RESULT_VARIABLE status
                  OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
endif()
if(NOT status STREQUAL EXPECTED)
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit status ${status}, expected ${EXPECTED}\n"
                      "stdout: ${out}\nstderr: ${err}")
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: standard error does not match ${STDERR}:\n${err}")
endif()
message(STATUS "exit status ${status} as expected")
