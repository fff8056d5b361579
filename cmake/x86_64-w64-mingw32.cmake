# Cross-build for 64-bit Windows with Debian's MinGW-w64 compilers (g++-mingw-w64-x86-64), the
# posix-thread variants (the C++ runtime's threads need them). `./demo windows` uses it for
# Allegro, DUMB, zlib and the show. The libraries are looked for in a prefix that `./demo windows`
# fills: -DSTREAM8_WINDOWS_PREFIX=DIR, else $STREAM8_WINDOWS_PREFIX, else build-windows/deps/prefix
# beside this project. Programs built here run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT STREAM8_WINDOWS_PREFIX)
  if(DEFINED ENV{STREAM8_WINDOWS_PREFIX})
    set(STREAM8_WINDOWS_PREFIX "$ENV{STREAM8_WINDOWS_PREFIX}")
  else()
    get_filename_component(STREAM8_WINDOWS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build-windows/deps/prefix" ABSOLUTE)
  endif()
endif()
# try_compile projects read this file again: hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES STREAM8_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${STREAM8_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test discovery and anything else CMake runs goes through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
