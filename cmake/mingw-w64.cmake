# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix thread variant, which GoogleTest
# needs), linked statically so that the programs need no runtime DLLs beside them. Programs built
# here run under wine: CTest and test discovery go through scripts/wine-run.sh, with a wine prefix
# of its own inside the build folder.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread linked into every program. The programs start on Windows Vista
# (6.0) and later: the runtime imports GetTickCount64, and the DPI functions of Windows 10 are
# looked up when the program runs. The headers say 5.2 unless told.
set(VELTRANE_WINDOWS_VERSION_FLAGS
    "-Wl,--major-subsystem-version,6,--minor-subsystem-version,0,--major-os-version,6,--minor-os-version,0")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static ${VELTRANE_WINDOWS_VERSION_FLAGS}")

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
