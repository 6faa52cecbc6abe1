# Cross build for 64-bit ARM Linux with Debian's cross compiler (package g++-aarch64-linux-gnu).
# Programs built here (the test runners when CMake lists their tests, ctest, the benches) run
# under qemu-aarch64 (package qemu-user or qemu-user-static) with the cross libraries of
# /usr/aarch64-linux-gnu.
#
#   cmake -S . -B build/aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CORVANTA_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${CORVANTA_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CORVANTA_CROSS_TRIPLE}-g++)

# Libraries, headers and packages come from the cross sysroot (or a prefix given with
# CMAKE_PREFIX_PATH, such as a GoogleTest built with this file); programs from the build machine.
set(CORVANTA_CROSS_SYSROOT /usr/${CORVANTA_CROSS_TRIPLE})
list(APPEND CMAKE_FIND_ROOT_PATH ${CORVANTA_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

find_program(CORVANTA_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(CORVANTA_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANTA_QEMU_AARCH64} -L ${CORVANTA_CROSS_SYSROOT})
endif()
