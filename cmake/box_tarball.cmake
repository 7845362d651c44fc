# Packs a box's install tree: cmake -DBUILD_DIR=... -DSTAGE_DIR=... -DTARBALL=... -P box_tarball.cmake
# Installs BUILD_DIR stripped into a fresh STAGE_DIR, then archives it with paths relative to the
# box's root (var/...) and owned by root, so that `tar -xzf TARBALL -C /` on the box puts each
# file in place.
foreach(variable BUILD_DIR STAGE_DIR TARBALL)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "box_tarball.cmake needs -D${variable}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGE_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE_DIR} --strip
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed (${status})")
endif()
execute_process(COMMAND tar --create --gzip --file ${TARBALL} --owner=0 --group=0 --numeric-owner
                        --sort=name -C ${STAGE_DIR} var
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tar of ${STAGE_DIR} into ${TARBALL} failed (${status})")
endif()
