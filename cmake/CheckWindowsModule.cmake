# cmake -DOBJDUMP=<objdump> -DMODULE=<file.dll> -DEXPECTED_EXPORTS=<list file>
#       -P CheckWindowsModule.cmake
#
# Checks a Windows module as the host's loader sees it:
# - its file name carries no "lib" prefix;
# - its import table names only KERNEL32 and the system C runtime (msvcrt.dll, or
#   ucrtbase.dll with its api-ms-win-crt-* forwarders): the compiler's own runtime
#   (libgcc, libstdc++, winpthread) is linked in, not needed beside it;
# - its export table holds exactly the names of EXPECTED_EXPORTS (one a line, "#"
#   starts a comment line), so C entry points carry no @-decoration or underscore,
#   and nothing of the statically linked runtime leaks out.
cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP MODULE EXPECTED_EXPORTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not given")
  endif()
endforeach()

set(failures 0)
macro(fail text)
  message(SEND_ERROR "${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

get_filename_component(module_name "${MODULE}" NAME)
if(module_name MATCHES "^lib")
  fail("module file name ${module_name} has a lib prefix")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed: ${result}")
endif()
# Brackets and semicolons would upset CMake's list handling of the lines.
string(REPLACE "[" "<" dump "${dump}")
string(REPLACE "]" ">" dump "${dump}")
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

set(imports "")
set(exports "")
set(in_name_table FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND imports "${dll}")
  elseif(line MATCHES "<Ordinal/Name Pointer> Table")
    set(in_name_table TRUE)
  elseif(in_name_table)
    if(line MATCHES "^[ \t]*<[ \t]*[0-9]+> (.+)$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    else()
      set(in_name_table FALSE)
    endif()
  endif()
endforeach()

if(NOT imports)
  fail("no import table found in ${module_name}")
endif()
foreach(dll IN LISTS imports)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    fail("${module_name} imports ${dll}: only KERNEL32 and the system C runtime are allowed")
  endif()
endforeach()
if(NOT "kernel32.dll" IN_LIST imports)
  fail("${module_name} does not import KERNEL32.dll")
endif()

file(STRINGS "${EXPECTED_EXPORTS}" expected REGEX "^[^#]")
list(SORT expected)
list(SORT exports)
foreach(name IN LISTS expected)
  if(NOT name IN_LIST exports)
    fail("${module_name} does not export ${name}")
  endif()
endforeach()
foreach(name IN LISTS exports)
  if(NOT name IN_LIST expected)
    fail("${module_name} exports ${name}, which is not in ${EXPECTED_EXPORTS}")
  endif()
endforeach()

list(LENGTH exports export_count)
if(failures EQUAL 0)
  message(STATUS "${module_name}: imports ${imports}; ${export_count} exports, as expected")
endif()
