# Cross-build for Linux on the processor QUARLEX_CROSS_ARCH names, with
# Debian's g++-<arch>-linux-gnu; programs of the build (the unit tests, and
# the test discovery that lists them) run under qemu-user. Included by the
# toolchain file of each processor.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${QUARLEX_CROSS_ARCH})

set(CMAKE_C_COMPILER ${QUARLEX_CROSS_ARCH}-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER ${QUARLEX_CROSS_ARCH}-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${QUARLEX_CROSS_ARCH} -L /usr/${QUARLEX_CROSS_ARCH}-linux-gnu)

set(CMAKE_FIND_ROOT_PATH /usr/${QUARLEX_CROSS_ARCH}-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
