find_package(GTest REQUIRED)
include(GoogleTest)

# tessaly_add_test(NAME SOURCES src... LIBS lib... [ENV VAR=VALUE...])
# One GoogleTest executable, each of its tests registered with ctest.
function(tessaly_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tessaly_options tessaly_testsupport ${ARG_LIBS} GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${ARG_ENV}")
endfunction()
