# Installs the build into a fresh prefix and checks that veltrane-calc is among the programs.
cmake_minimum_required(VERSION 3.25)
# -DBUILD_DIR=... -DPREFIX=... -DPROGRAM=<file name of veltrane-calc>
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
if(NOT "bin/${PROGRAM}" IN_LIST installed)
  message(FATAL_ERROR "bin/${PROGRAM} not installed; installed: ${installed}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
