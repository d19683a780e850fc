# add_project_test(name [LABEL label] SOURCES ... [LIBS ...] [PROPERTIES ...]): one
# GoogleTest executable, registered with CTest at test time (PRE_TEST), so a cross
# build can list and run its tests through CMAKE_CROSSCOMPILING_EMULATOR. Its cases
# carry LABEL besides the labels of their folder, and the test PROPERTIES given.
include(GoogleTest)
function(add_project_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orbiculon_test_support GTest::gtest_main project_options
                                        project_warnings)
  set(properties ENVIRONMENT "ORBICULON_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/data")
  list(APPEND properties ${ARG_PROPERTIES})
  if(ARG_LABEL)
    list(APPEND properties LABELS ${ARG_LABEL})
  endif()
  # NO_PRETTY_VALUES: parameterised tests keep the names their name generators give
  # instead of a dump of the parameter's bytes.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES ${properties})
endfunction()
