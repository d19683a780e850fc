# Where each part goes when installed.
#
# Linux (`cmake --install`, and the .deb under /usr), component "tools":
#   bin/orbiculon                                the command: a launcher
#   lib/orbiculon/CerevantRZ.exe                 the batch tool under the host's name,
#   lib/orbiculon/Orbiculon.so                   which the plug-in looks for
#   lib/orbiculon/Orbiculon.js
#   lib/orbiculon/HelpFolder/index.html
#   share/man/man1/orbiculon.1
#   share/bash-completion/completions/orbiculon
#   share/doc/orbiculon/index.html, examples/
#
# Windows, one ZIP per component:
#   "plugin" (goes straight into the host's plug-in folder):
#     Orbiculon.dll, Orbiculon.js, HelpFolder/index.html
#   "tools" (goes anywhere, for instance a folder on PATH):
#     orbiculon.exe, and orbiculon/ holding CerevantRZ.exe and the plug-in files above
#
# The launcher finds the batch tool at the same place relative to itself
# (standin/Launcher.cpp), so an installation works wherever it is moved.
if(WIN32)
  set(ORBICULON_TOOLS_FOLDER orbiculon)
else()
  set(ORBICULON_TOOLS_FOLDER lib/orbiculon)
endif()

# orbiculon_install_beside_module(FILES file... [SUBFOLDER folder])
# Installs files that lie beside the plug-in module: into the tools' private folder,
# and on Windows also into the plug-in ZIP.
function(orbiculon_install_beside_module)
  cmake_parse_arguments(arg "" "SUBFOLDER" "FILES" ${ARGN})
  set(plugin_folder .)
  set(tools_folder ${ORBICULON_TOOLS_FOLDER})
  if(arg_SUBFOLDER)
    set(plugin_folder ${arg_SUBFOLDER})
    string(APPEND tools_folder /${arg_SUBFOLDER})
  endif()
  if(WIN32)
    install(FILES ${arg_FILES} DESTINATION ${plugin_folder} COMPONENT plugin)
  endif()
  install(FILES ${arg_FILES} DESTINATION ${tools_folder} COMPONENT tools)
endfunction()
