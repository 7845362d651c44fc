# Cross toolchain for an ARM hard-float box: Debian's arm-linux-gnueabihf compilers, tests run
# under qemu-user with the cross C library as the emulated root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VITREL_CROSS_TRIPLET arm-linux-gnueabihf)
set(VITREL_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
