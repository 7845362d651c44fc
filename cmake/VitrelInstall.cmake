# The install tree of a box and its tarball. Included at the end of the top-level CMakeLists.txt.
#
# `cmake --install BUILD --prefix ROOT` lays out under ROOT what the box needs, where the box
# keeps it: the plugin and a sample configuration in var/mirlon/plugins/. The host library
# libgx9.so is the box's own and is not installed. The target box_tarball packs the same tree,
# stripped, as vitrel3-<processor>.tar.gz, to unpack at a box's root.

set(VITREL_BOX_PLUGIN_DIR var/mirlon/plugins)

install(TARGETS vitrel3 LIBRARY DESTINATION ${VITREL_BOX_PLUGIN_DIR})
# It holds the account's password: readable by its owner only.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vitrel3.cfg DESTINATION ${VITREL_BOX_PLUGIN_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE)

set(VITREL_BOX_TARBALL ${CMAKE_BINARY_DIR}/vitrel3-${CMAKE_SYSTEM_PROCESSOR}.tar.gz)
add_custom_target(box_tarball
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSTAGE_DIR=${CMAKE_BINARY_DIR}/box-root
          -DTARBALL=${VITREL_BOX_TARBALL} -P ${CMAKE_SOURCE_DIR}/cmake/box_tarball.cmake
  DEPENDS vitrel3
  COMMENT "Packing the box's install tree into ${VITREL_BOX_TARBALL}"
  VERBATIM)

if(BUILD_TESTING)
  # ELF class, byte order and machine that the readelf of this toolchain reports for the target.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(elf_class ELF64)
  else()
    set(elf_class ELF32)
  endif()
  if(CMAKE_CXX_BYTE_ORDER STREQUAL "BIG_ENDIAN")
    set(elf_data "big endian")
  else()
    set(elf_data "little endian")
  endif()
  # The machine readelf names for the processors we build for; others are not checked.
  set(elf_machine ".*")
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(powerpc|ppc)$")
    set(elf_machine "PowerPC")
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
    set(elf_machine "ARM")
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
    set(elf_machine "X86-64")
  endif()
  add_test(NAME BoxTarball.HoldsTheStrippedPluginForThisCpuAndThePrivateSampleConfig
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                   -DWORK_DIR=${CMAKE_BINARY_DIR}/box-tarball-check
                   -DSAMPLE_CONFIG=${CMAKE_SOURCE_DIR}/packaging/vitrel3.cfg
                   -DREADELF=${CMAKE_READELF} -DPACKER=${CMAKE_SOURCE_DIR}/cmake/box_tarball.cmake
                   "-DEXPECTED_CLASS=${elf_class}" "-DEXPECTED_DATA=${elf_data}"
                   "-DEXPECTED_MACHINE=${elf_machine}"
                   -P ${CMAKE_SOURCE_DIR}/cmake/check_box_tarball.cmake)
  set_tests_properties(BoxTarball.HoldsTheStrippedPluginForThisCpuAndThePrivateSampleConfig
                       PROPERTIES LABELS install)
endif()
