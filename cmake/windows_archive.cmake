# Makes the release archive of the Windows programs (cmake -P):
#   -DOUT=.../veltrane-VERSION-windows-x64.zip -DSTRIP=strip-tool -DREADME=README.txt
#   -DEXAMPLES=examples-folder -DPROGRAMS=a.exe;b.exe
# The archive holds one folder named as the archive: the programs without their debugging
# sections, the README with Windows line ends, and the examples.
foreach(name OUT STRIP README EXAMPLES PROGRAMS)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "windows_archive.cmake: ${name} is not set")
  endif()
endforeach()

get_filename_component(folder_name ${OUT} NAME_WLE)
get_filename_component(out_dir ${OUT} DIRECTORY)
set(stage ${out_dir}/${folder_name})
file(REMOVE_RECURSE ${stage})
file(REMOVE ${OUT})
file(MAKE_DIRECTORY ${stage})

foreach(program IN LISTS PROGRAMS)
  get_filename_component(program_name ${program} NAME)
  execute_process(COMMAND ${STRIP} --strip-debug --strip-unneeded -o ${stage}/${program_name}
                          ${program} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "windows_archive.cmake: cannot strip ${program}")
  endif()
endforeach()

file(READ ${README} readme)
string(REPLACE "\r\n" "\n" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${stage}/README.txt "${readme}")

file(COPY ${EXAMPLES}/ DESTINATION ${stage}/examples)

execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT} --format=zip ${folder_name}
                WORKING_DIRECTORY ${out_dir} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "windows_archive.cmake: cannot write ${OUT}")
endif()
file(REMOVE_RECURSE ${stage})
