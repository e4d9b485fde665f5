# Dependencies of a cross-build. CLI11 and nlohmann-json are header-only: their host headers serve
# any target, but the host's include folder itself must not reach the cross compiler (its C
# library headers would shadow the target's). Each gets a folder of its own with a link to its
# headers, and find_package() finds it through a redirect. GoogleTest is compiled from Debian's
# sources with the cross compiler.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${host_headers})

# package name for find_package, target, header folder under /usr/include, host version file
set(header_packages
    "CLI11|CLI11::CLI11|CLI|/usr/share/cmake/CLI11/CLI11ConfigVersion.cmake"
    "nlohmann_json|nlohmann_json::nlohmann_json|nlohmann|/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake")
foreach(entry IN LISTS header_packages)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 package)
  list(GET fields 1 target)
  list(GET fields 2 folder)
  list(GET fields 3 version_file)
  if(NOT EXISTS /usr/include/${folder} OR NOT EXISTS ${version_file})
    message(FATAL_ERROR "${package} headers not found: install the Debian packages of scripts/packages.txt")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${host_headers}/${folder} SYMBOLIC)
  string(TOLOWER ${package} lower)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake
       "if(NOT TARGET ${target})\n"
       "  add_library(${target} INTERFACE IMPORTED)\n"
       "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${host_headers})\n"
       "endif()\n")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config-version.cmake
       "include(${version_file})\n")
endforeach()

if(VELTRANE_BUILD_TESTS)
  set(googletest_source /usr/src/googletest)
  if(NOT EXISTS ${googletest_source}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${googletest_source}: install googletest")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${googletest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake "")
endif()
