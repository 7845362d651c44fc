# What both box toolchains share: Debian's cross compilers for VITREL_CROSS_TRIPLET, libraries and
# headers searched only under the cross root (never the build machine's), and the qemu-user
# emulator that runs target programs (tests, test discovery) on the build machine.
set(VITREL_CROSS_ROOT /usr/${VITREL_CROSS_TRIPLET})

find_program(VITREL_CROSS_CXX ${VITREL_CROSS_TRIPLET}-g++ REQUIRED)
find_program(VITREL_CROSS_CC ${VITREL_CROSS_TRIPLET}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${VITREL_CROSS_CC})
set(CMAKE_CXX_COMPILER ${VITREL_CROSS_CXX})

set(CMAKE_FIND_ROOT_PATH ${VITREL_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -L points the emulator's dynamic loader and libraries at the cross root.
find_program(VITREL_CROSS_QEMU_PATH ${VITREL_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VITREL_CROSS_QEMU_PATH} -L ${VITREL_CROSS_ROOT})
