include(GoogleTest)

# Every test binary marked THREADED; the ThreadSanitizer build makes this target alone.
add_custom_target(zelpack_threaded_tests)

# zelpack_test(<source> [GUI] [THREADED] [LOCALE <locale>] LIBS <libs...>): one test binary per
# test file, named after the file. GUI tests run inside the window framework's application with
# the dialog driver of its back end (Qt on the headless platform; Win32 under Wine on a virtual
# display).
# THREADED tests run code on more than one thread; their tests carry the label "threaded".
# LOCALE (Windows builds only) runs the binary under Wine in that Unix locale instead of
# C.UTF-8, e.g. zh_CN.UTF-8 for ANSI code page 936 (see scripts/wine-run.sh).
function(zelpack_test source)
  cmake_parse_arguments(ARG "GUI;THREADED" "LOCALE" "LIBS" ${ARGN})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  if(WIN32)
    # Each test ends with the heaps validated (tests/support/heap_check.cpp).
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/heap_check.cpp)
  endif()
  # The scratch-folder helpers need platform/, which a Windows build may not have yet.
  set(support "")
  if(TARGET zelpack_testsupport)
    set(support zelpack_testsupport)
  endif()
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${support} zelpack_gui_test_main)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${support} GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(properties "")
  if(ARG_THREADED)
    list(APPEND properties LABELS threaded)
    add_dependencies(zelpack_threaded_tests ${name})
  endif()
  if(ARG_LOCALE AND CMAKE_CROSSCOMPILING_EMULATOR)
    list(APPEND properties ENVIRONMENT ZELPACK_WINE_LOCALE=${ARG_LOCALE})
  endif()
  if(properties)
    set(properties PROPERTIES ${properties})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${properties})
endfunction()

# zelpack_tool_command(<variable> <target>): the command that runs a program of the build from a
# test script: the program itself, or on a cross build a launcher that runs it through
# CMAKE_CROSSCOMPILING_EMULATOR (Wine), so that the scripts work unchanged.
function(zelpack_tool_command variable target)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(launcher ${CMAKE_BINARY_DIR}/launchers/${target})
    file(GENERATE OUTPUT ${launcher}
         CONTENT "#!/bin/sh\nexec '${CMAKE_CROSSCOMPILING_EMULATOR}' '$<TARGET_FILE:${target}>' \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
    set(${variable} ${launcher} PARENT_SCOPE)
  else()
    set(${variable} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()
