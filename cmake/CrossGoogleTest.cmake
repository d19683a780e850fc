# GoogleTest for a cross build. The build machine's installed GoogleTest libraries
# are for the build machine, so the framework is compiled here from the source
# package (Debian's "googletest" installs it in /usr/src/googletest); its build
# offers the same target names that find_package(GTest) gives (GTest::gtest_main,
# GTest::gmock).
set(ORBICULON_GOOGLETEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest sources compiled for cross builds")
if(NOT EXISTS ${ORBICULON_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${ORBICULON_GOOGLETEST_SOURCE_DIR} "
                      "(Debian: apt-get install googletest)")
endif()

set(BUILD_GMOCK ON CACHE BOOL "The tests use GoogleMock's matchers" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "GoogleTest is only built for the tests" FORCE)
add_subdirectory(${ORBICULON_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

foreach(target gtest gtest_main gmock gmock_main)
  # Third-party code: its warnings are not ours to fix.
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
endforeach()
