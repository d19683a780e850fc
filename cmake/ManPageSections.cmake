# Writes the sections help2man adds to the man page of orbiculon: the help of every
# subcommand, as the program prints it (run at build time):
#
#   cmake -DPROGRAM=<batch tool> -DOUTPUT=<file> -P cmake/ManPageSections.cmake
#
# The subcommands are read from the "Subcommands:" section of `PROGRAM --help`.

function(help_text out_var)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${result})")
  endif()
  set(${out_var} "${help}" PARENT_SCOPE)
endfunction()

help_text(top)
string(REGEX MATCH "\nSubcommands:\n(  [^\n]*\n)+" listing "${top}")
string(REGEX MATCHALL "\n  [a-z]+ " subcommands "${listing}")
list(TRANSFORM subcommands STRIP)
if(NOT subcommands)
  message(FATAL_ERROR "${PROGRAM} --help lists no subcommands")
endif()

set(sections "[SUBCOMMANDS]\n")
foreach(subcommand IN LISTS subcommands)
  help_text(help ${subcommand})
  # Shown as printed: no filling, backslashes escaped, and a line that starts with a
  # dot or a quote kept from reading as a request.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND sections ".SS ${subcommand}\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${sections}")
