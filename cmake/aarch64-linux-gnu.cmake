# Cross-build for 64-bit ARM Linux with Debian's cross compilers (crossbuild-essential-arm64)
# against a sysroot of Debian's arm64 packages unpacked with dpkg -x (`./demo test-arm64` makes
# one). The sysroot is -DSTREAM8_ARM64_SYSROOT=DIR, else $STREAM8_ARM64_SYSROOT, else
# build-arm64-sysroot/ beside this project. Programs built here run under qemu-aarch64 -L SYSROOT.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

if(NOT STREAM8_ARM64_SYSROOT)
  if(DEFINED ENV{STREAM8_ARM64_SYSROOT})
    set(STREAM8_ARM64_SYSROOT "$ENV{STREAM8_ARM64_SYSROOT}")
  else()
    get_filename_component(STREAM8_ARM64_SYSROOT "${CMAKE_CURRENT_LIST_DIR}/../build-arm64-sysroot" ABSOLUTE)
  endif()
endif()
# try_compile projects read this file again: hand them the same sysroot.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES STREAM8_ARM64_SYSROOT)
if(NOT EXISTS "${STREAM8_ARM64_SYSROOT}/usr/include/allegro.h")
  message(FATAL_ERROR "no arm64 sysroot with Allegro at ${STREAM8_ARM64_SYSROOT} (./demo test-arm64 makes one)")
endif()

set(CMAKE_SYSROOT "${STREAM8_ARM64_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH "${STREAM8_ARM64_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# libX11 and the other shared libraries name their own dependencies, which the linker must find
# in the sysroot too.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,-rpath-link,${STREAM8_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu -Wl,-rpath-link,${STREAM8_ARM64_SYSROOT}/lib/aarch64-linux-gnu")
# Test discovery and anything else CMake runs goes through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L "${STREAM8_ARM64_SYSROOT}")

set(ENV{PKG_CONFIG_SYSROOT_DIR} "${STREAM8_ARM64_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR} "${STREAM8_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${STREAM8_ARM64_SYSROOT}/usr/share/pkgconfig")
