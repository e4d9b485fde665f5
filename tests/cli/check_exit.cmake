# cmake [-DEXPECTED=N] [-DSTDERR=REGEX] [-DWORKDIR=DIR [-DONLY_FILE=NAME]] -P check_exit.cmake
#       -- COMMAND [ARGUMENT...]
# Runs COMMAND (the program, behind the cross-compiling emulator when there is one) and fails
# unless its exit status is EXPECTED and, when STDERR is given, its standard error matches that
# regular expression. With WORKDIR it runs in that folder, emptied first; with ONLY_FILE the
# folder must then hold that one file and nothing else (no stray temporary file). With
# OUTPUT_FILE the standard output goes to that file (such as /dev/full).
set(command)
set(after_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(after_separator)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(after_separator TRUE)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "check_exit.cmake: no command after --")
endif()

set(where)
if(DEFINED WORKDIR)
  file(REMOVE_RECURSE "${WORKDIR}")
  file(MAKE_DIRECTORY "${WORKDIR}")
  set(where WORKING_DIRECTORY "${WORKDIR}")
endif()

if(DEFINED OUTPUT_FILE)
  execute_process(COMMAND ${command} ${where}
                  RESULT_VARIABLE status
                  OUTPUT_FILE ${OUTPUT_FILE}
                  ERROR_VARIABLE err)
else()
  execute_process(COMMAND ${command} ${where}
                  RESULT_VARIABLE status
                  OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
endif()
if(NOT status STREQUAL EXPECTED)
  message(FATAL_ERROR "${command}: exit status ${status}, expected ${EXPECTED}\n"
                      "stdout: ${out}\nstderr: ${err}")
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "${command}: standard error does not match ${STDERR}:\n${err}")
endif()
if(DEFINED ONLY_FILE)
  file(GLOB_RECURSE files RELATIVE "${WORKDIR}" "${WORKDIR}/*")
  if(NOT files STREQUAL ONLY_FILE)
    message(FATAL_ERROR "${command}: the folder holds [${files}], expected [${ONLY_FILE}]")
  endif()
endif()
message(STATUS "exit status ${status} as expected")
