include(GoogleTest)

# Every test binary marked THREADED; the ThreadSanitizer build makes this target alone.
add_custom_target(zelpack_threaded_tests)

# zelpack_test(<source> [QT] [THREADED] LIBS <libs...>): one test binary per test file, named
# after the file. QT tests run inside a QApplication on the headless platform. THREADED tests run
# code on more than one thread; their tests carry the label "threaded".
function(zelpack_test source)
  cmake_parse_arguments(ARG "QT;THREADED" "" "LIBS" ${ARGN})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  if(ARG_QT)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} zelpack_testsupport zelpack_qt_test_main)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} zelpack_testsupport GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(labels "")
  if(ARG_THREADED)
    set(labels PROPERTIES LABELS threaded)
    add_dependencies(zelpack_threaded_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${labels})
endfunction()
