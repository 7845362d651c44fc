# Cross toolchain for a big-endian 32-bit PowerPC box: Debian's powerpc-linux-gnu compilers,
# tests run under qemu-user with the cross C library as the emulated root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(VITREL_CROSS_TRIPLET powerpc-linux-gnu)
set(VITREL_CROSS_QEMU qemu-ppc)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
