# Test of the box tarball: packs it as box_tarball does, then checks what a box would unpack.
# - exactly the plugin and the configuration under var/mirlon/plugins/, owned by root;
# - the configuration is the sample, readable by its owner only;
# - the plugin is a shared object for the target (class, byte order, machine), stripped, and
#   exports plugin_exec and nothing else.
foreach(variable BUILD_DIR WORK_DIR SAMPLE_CONFIG READELF PACKER EXPECTED_CLASS EXPECTED_DATA
                 EXPECTED_MACHINE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_box_tarball.cmake needs -D${variable}=...")
  endif()
endforeach()

set(failures "")
macro(fail what)
  string(APPEND failures "\n  ${what}")
endmacro()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/root)
set(tarball ${WORK_DIR}/box.tar.gz)
execute_process(COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${BUILD_DIR} -DSTAGE_DIR=${WORK_DIR}/stage
                        -DTARBALL=${tarball} -P ${PACKER}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "packing the tarball failed")
endif()

# The listing: "mode owner/group size date time path", one line per entry.
execute_process(COMMAND tar --list --verbose --numeric-owner --gzip --file ${tarball}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("tar cannot list the tarball")
endif()
string(REGEX MATCHALL "[^\n]+" entries "${listing}")
set(files "")
foreach(entry IN LISTS entries)
  string(REGEX MATCH "^([-d][-rwxsStT]+) +([0-9]+)/([0-9]+) .* ([^ ]+)$" parsed "${entry}")
  set(mode ${CMAKE_MATCH_1})
  set(path ${CMAKE_MATCH_4})
  if(NOT CMAKE_MATCH_2 EQUAL 0 OR NOT CMAKE_MATCH_3 EQUAL 0)
    fail("not owned by root: ${entry}")
  endif()
  if(mode MATCHES "^-")
    list(APPEND files ${path})
    if(path MATCHES "vitrel3.cfg$" AND NOT mode STREQUAL "-rw-------")
      fail("configuration readable by others: ${entry}")
    endif()
  endif()
endforeach()
list(SORT files)
if(NOT files STREQUAL "var/mirlon/plugins/vitrel3.cfg;var/mirlon/plugins/vitrel3.so")
  fail("tarball files are \"${files}\"")
endif()

execute_process(COMMAND tar --extract --gzip --file ${tarball} -C ${WORK_DIR}/root
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("tar cannot unpack the tarball")
endif()
set(plugin ${WORK_DIR}/root/var/mirlon/plugins/vitrel3.so)
set(config ${WORK_DIR}/root/var/mirlon/plugins/vitrel3.cfg)

if(EXISTS ${config})
  file(SHA256 ${config} unpacked)
  file(SHA256 ${SAMPLE_CONFIG} sample)
  if(NOT unpacked STREQUAL sample)
    fail("the unpacked configuration is not packaging/vitrel3.cfg")
  endif()
endif()

if(EXISTS ${plugin})
  execute_process(COMMAND ${READELF} --file-header --section-headers --dyn-syms --wide ${plugin}
                  OUTPUT_VARIABLE elf RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("${READELF} cannot read the plugin")
  endif()
  if(NOT elf MATCHES "Class: +${EXPECTED_CLASS}\n")
    fail("plugin is not ${EXPECTED_CLASS}")
  endif()
  if(NOT elf MATCHES "Data: +[^\n]*${EXPECTED_DATA}\n")
    fail("plugin is not ${EXPECTED_DATA}")
  endif()
  if(NOT elf MATCHES "Machine: +[^\n]*${EXPECTED_MACHINE}")
    fail("plugin is not for ${EXPECTED_MACHINE}")
  endif()
  if(NOT elf MATCHES "Type: +DYN ")
    fail("plugin is not a shared object")
  endif()
  if(elf MATCHES "[.]symtab")
    fail("plugin is not stripped (it has .symtab)")
  endif()
  # Defined functions and data of global or weak binding (section index a number, not UND).
  string(REGEX MATCHALL "(FUNC|OBJECT) +(GLOBAL|WEAK) +DEFAULT +[0-9]+ +[^\n]+" exported "${elf}")
  list(TRANSFORM exported REPLACE "^.* " "")
  if(NOT exported STREQUAL "plugin_exec")
    fail("plugin exports \"${exported}\", not only plugin_exec")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "The box tarball is wrong:${failures}")
endif()
message(STATUS "box tarball: ${files}, plugin ${EXPECTED_CLASS} ${EXPECTED_DATA} ${EXPECTED_MACHINE}")
