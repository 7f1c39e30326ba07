# Cross-build for IBM Z (big-endian), run under qemu-s390x (Debian:
# g++-s390x-linux-gnu qemu-user):
#   cmake --workflow --preset s390x
set(QUARLEX_CROSS_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
