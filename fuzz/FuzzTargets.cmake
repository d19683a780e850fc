# The fuzz targets and the libraries each one exercises. Used twice: by fuzz/ for the
# libFuzzer executables (clang, ORBICULON_BUILD_FUZZ), and by the test suite, which
# builds every target with a plain main that replays its seed corpus and its
# regression inputs (tests/hostile).
set(ORBICULON_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ORBICULON_FUZZ_TARGETS clean parse textfile sphere dispatcher)
set(ORBICULON_FUZZ_LIBS_clean orbiculon_coords)
set(ORBICULON_FUZZ_LIBS_parse orbiculon_coords)
set(ORBICULON_FUZZ_LIBS_textfile orbiculon_coords orbiculon_fuzz_host)
set(ORBICULON_FUZZ_LIBS_sphere orbiculon_voi)
set(ORBICULON_FUZZ_LIBS_dispatcher orbiculon_plugin orbiculon_fuzz_host)
# The plug-in class is compiled without RTTI (it goes into the module), so code that
# creates its objects is too: the vptr check of the undefined-behaviour sanitizer
# would otherwise ask for type information that does not exist.
set(ORBICULON_FUZZ_OPTIONS_dispatcher -fno-rtti)

# The recording fake host of the unit tests, for the targets that run host calls.
function(orbiculon_fuzz_host_library)
  if(TARGET orbiculon_fuzz_host)
    return()
  elseif(TARGET orbiculon_test_support)
    add_library(orbiculon_fuzz_host ALIAS orbiculon_test_support)
  else()
    add_library(orbiculon_fuzz_host STATIC ${ORBICULON_FUZZ_DIR}/../tests/support/FakeHost.cpp)
    target_link_libraries(orbiculon_fuzz_host PUBLIC orbiculon_host project_options PRIVATE project_warnings)
  endif()
endfunction()

# orbiculon_add_fuzz_executable(<target> <executable name> <extra sources...>)
function(orbiculon_add_fuzz_executable target executable)
  orbiculon_fuzz_host_library()
  add_executable(${executable} ${ORBICULON_FUZZ_DIR}/${target}_fuzzer.cpp ${ARGN})
  target_link_libraries(${executable} PRIVATE ${ORBICULON_FUZZ_LIBS_${target}} project_options project_warnings)
  target_compile_options(${executable} PRIVATE ${ORBICULON_FUZZ_OPTIONS_${target}})
endfunction()
