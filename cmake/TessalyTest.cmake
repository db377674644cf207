# Cross builds have no prebuilt GoogleTest for the target, so they build it from Debian's sources.
option(TESSALY_GTEST_FROM_SOURCE "Build GoogleTest from its sources (TESSALY_GTEST_SOURCE_DIR)"
       ${CMAKE_CROSSCOMPILING})
set(TESSALY_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for TESSALY_GTEST_FROM_SOURCE")

if(TESSALY_GTEST_FROM_SOURCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TESSALY_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# tessaly_add_test(NAME SOURCES src... LIBS lib... [ENV VAR=VALUE...] [LABELS label...])
# One GoogleTest executable, each of its tests registered with ctest.
function(tessaly_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tessaly_options tessaly_testsupport ${ARG_LIBS} GTest::gmock
                                                GTest::gtest_main)
  # An empty value would drop out of the list gtest_discover_tests passes on: only set properties go in.
  set(properties "")
  if(ARG_ENV)
    list(APPEND properties ENVIRONMENT "${ARG_ENV}")
  endif()
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
