# Cross-compiles the Windows programs (x86-64) with MinGW-w64 on Debian:
#   cmake -S . -B build-win --toolchain cmake/mingw-w64-x86_64.cmake
# The -posix compilers (package g++-mingw-w64-x86-64-posix) bring the C++ threads that
# GoogleTest needs. With Wine installed the test programs run under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs and the tools' own checks run under Wine when it is there. wine64 itself,
# not the wrapper script, which prints a hint about 32-bit Wine on every run; through
# wine-run.sh, which keeps Wine's helper processes from holding the runner's pipes.
find_program(VELM_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VELM_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
                                      ${VELM_WINE64})
endif()
