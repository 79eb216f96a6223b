include(GoogleTest)

# zelpack_test(<source> LIBS <libs...>): one test binary per test file, named after the file.
function(zelpack_test source)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zelpack_testsupport GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
