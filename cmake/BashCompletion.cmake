# Writes the bash completion of the orbiculon command from its own help, so it
# covers every subcommand and option the program has (run at build time):
#
#   cmake -DPROGRAM=<batch tool> -DOUTPUT=<file> -P cmake/BashCompletion.cmake
#
# The subcommands are read from the "Subcommands:" section of `PROGRAM --help`, each
# subcommand's options from the "Options:" section of `PROGRAM SUBCOMMAND --help`,
# and the values of an option with a fixed set of them (--space ENUM:{tal,mni}) from
# its braces. Everything else completes file names.

function(help_of out_var)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${result})")
  endif()
  string(REPLACE ";" "\\;" help "${help}")
  string(REPLACE "\n" ";" help "${help}")
  set(${out_var} "${help}" PARENT_SCOPE)
endfunction()

# The first words of the lines of `section` in `help`, each line's first word being
# what the line describes (a subcommand, or options joined by commas).
function(section_entries out_var section)
  set(entries "")
  set(inside FALSE)
  foreach(line IN LISTS ARGN)
    if(line MATCHES "^[A-Za-z].*:$")
      set(inside FALSE)
      if(line STREQUAL "${section}:")
        set(inside TRUE)
      endif()
    elseif(inside AND line MATCHES "^  ([^ ]+)")
      list(APPEND entries "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out_var} "${entries}" PARENT_SCOPE)
endfunction()

help_of(top)
section_entries(subcommands Subcommands ${top})
section_entries(top_options Options ${top})
if(NOT subcommands)
  message(FATAL_ERROR "${PROGRAM} --help lists no subcommands")
endif()

set(option_cases "")
set(value_cases "")
foreach(subcommand IN LISTS subcommands)
  help_of(help ${subcommand})
  # Option lines name the option, then perhaps a type with a set of values
  # (--space ENUM:{tal,mni}=tal), a default, or the values of a flag pair
  # (--load,--no-load{false}).
  set(names "")
  set(inside FALSE)
  foreach(line IN LISTS help)
    if(line MATCHES "^[A-Za-z].*:$")
      set(inside FALSE)
      if(line STREQUAL "Options:")
        set(inside TRUE)
      endif()
    elseif(inside AND line MATCHES "^  (-[^ {]+)")
      string(REPLACE "," ";" option_names "${CMAKE_MATCH_1}")
      list(APPEND names ${option_names})
      if(line MATCHES "^  [^ ]+ [A-Z]+:{([^}]+)}")
        string(REPLACE "," " " values "${CMAKE_MATCH_1}")
        set(patterns "")
        foreach(name IN LISTS option_names)
          list(APPEND patterns "\"${subcommand} \"${name}")
        endforeach()
        list(JOIN patterns "|" patterns)
        string(APPEND value_cases "  ${patterns}) values=\"${values}\" ;;\n")
      endif()
    endif()
  endforeach()
  list(JOIN names " " names)
  string(APPEND option_cases "  ${subcommand}) options=\"${names}\" ;;\n")
endforeach()
list(JOIN subcommands " " subcommand_words)
list(JOIN subcommands "|" subcommand_patterns)
string(REPLACE "," ";" top_options "${top_options}")
list(JOIN top_options " " top_option_words)

file(WRITE ${OUTPUT} "# bash completion of orbiculon: its subcommands, their options, and the values of
# options with a fixed set of them; anything else completes file names.
# Generated from the program's --help when it was built.
_orbiculon() {
  local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD - 1]}
  local subcommand='' options='' values='' i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case \${COMP_WORDS[i]} in
    ${subcommand_patterns})
      subcommand=\${COMP_WORDS[i]}
      break
      ;;
    esac
  done
  if [[ -z \$subcommand ]]; then
    mapfile -t COMPREPLY < <(compgen -W '${subcommand_words} ${top_option_words}' -- \"\$cur\")
    return
  fi
  case \"\$subcommand \$prev\" in
${value_cases}  esac
  if [[ -n \$values ]]; then
    mapfile -t COMPREPLY < <(compgen -W \"\$values\" -- \"\$cur\")
    return
  fi
  case \$subcommand in
${option_cases}  esac
  if [[ \$cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W \"\$options\" -- \"\$cur\")
    return
  fi
  # Nothing offered: bash completes file names (complete -o default).
  COMPREPLY=()
}
complete -o default -F _orbiculon orbiculon
")
