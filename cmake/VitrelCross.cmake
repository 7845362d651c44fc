# Builds for a box's CPU (cross-compiled, see cmake/toolchains/): defaults for what the target's
# C library lacks, GoogleTest built from source with the cross compiler, and wrappers that run
# the target's tools under the emulator. Included by the top-level CMakeLists.txt only when
# CMAKE_CROSSCOMPILING.

# Debian ships no FreeType, libpng or zlib for every box CPU: FBDrawString paints boxes of
# estimated width, and PNG files go through the built-in codec. Either can still be turned on
# with -D for a target that has the library.
if(NOT DEFINED VITREL_GX9_FREETYPE)
  set(VITREL_GX9_FREETYPE OFF CACHE BOOL "Render FBDrawString with FreeType (else boxes of estimated width)")
endif()
if(NOT DEFINED VITREL_LIBPNG)
  set(VITREL_LIBPNG OFF CACHE BOOL "Read and write PNG files with libpng (else the built-in codec)")
endif()

# Emulators forgive unaligned loads that some box CPUs trap on: every cast in the plugin to a
# more strictly aligned type is reported, whatever the target's own rule (an error with -Werror).
# Only the plugin: test fakes use the socket API's own sockaddr casts.
function(vitrel_cross_plugin_checks)
  target_compile_options(plugin_obj PRIVATE -Wcast-align=strict)
endfunction()
cmake_language(DEFER CALL vitrel_cross_plugin_checks)

set(VITREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources built with the cross compiler (Debian package googletest)")

# Tests that read the glyphs FreeType draws (ink in the text colour, baseline, Latin-1 shapes,
# header centring measured on ink, the missing-font warning): where FBDrawString paints plain
# boxes they cannot pass, so they are reported as "Not Run (Disabled)" instead.
set(VITREL_TESTS_NEEDING_FREETYPE
    Strings.DrawTheGoldenScreenInBoxesOfTheReturnedWidthThatAddsUp
    Header.NamesAndRatingsStartAtTheirCentredPositions
    HelpScreen.CoversTheBoardAreaWithItsHeadingsAndRows
    PluginRun.WithoutAConfigurationTheIntroReportsTheFailureAndKeysStillWork)

# Called in tests/: GoogleTest for the target, as the targets GTest::gtest and GTest::gtest_main
# that find_package(GTest) gives on the build machine (built only when a test links it, never
# installed), and the disabling of tests the target's build cannot pass.
function(vitrel_cross_tests)
  if(NOT EXISTS ${VITREL_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources at ${VITREL_GOOGLETEST_SOURCE}: "
                        "install Debian's googletest package (scripts/deps.sh cross)")
  endif()
  set(BUILD_GMOCK OFF)
  set(INSTALL_GTEST OFF)
  # GoogleTest is not held to our warning flags; its headers come in as system headers.
  get_directory_property(our_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  add_subdirectory(${VITREL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${our_options}")
  # Newer GoogleTest releases define these names themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
  # After the directory's test discovery, so that the discovered tests exist when it runs.
  cmake_language(DEFER CALL vitrel_cross_disable_tests)
endfunction()

function(vitrel_cross_disable_tests)
  if(VITREL_GX9_FREETYPE)
    return()
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/cross_disabled_tests.cmake)
  set(lines "# Written by cmake/VitrelCross.cmake: FBDrawString is built without FreeType.\n")
  foreach(name IN LISTS VITREL_TESTS_NEEDING_FREETYPE)
    string(APPEND lines "set_tests_properties(${name} PROPERTIES DISABLED TRUE)\n")
  endforeach()
  file(WRITE ${script} "${lines}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# Makes the tool `target` callable at its usual path in the build folder: the binary is built as
# `target`-<processor>, and `target` is a script that runs it under CMAKE_CROSSCOMPILING_EMULATOR.
function(vitrel_cross_tool_wrapper target)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${target}-${CMAKE_SYSTEM_PROCESSOR})
  get_target_property(directory ${target} RUNTIME_OUTPUT_DIRECTORY)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
  file(GENERATE OUTPUT ${directory}/${target}
       CONTENT "#!/bin/sh\nexec ${emulator} \"$<TARGET_FILE:${target}>\" \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
endfunction()
