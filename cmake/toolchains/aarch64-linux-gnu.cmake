# Cross-build for 64-bit ARM (little-endian, without the x86 vector code),
# run under qemu-aarch64 (Debian: g++-aarch64-linux-gnu qemu-user):
#   cmake --workflow --preset aarch64
set(QUARLEX_CROSS_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
