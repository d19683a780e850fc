# The user's package: a ZIP whose content goes straight into the host's plug-in
# folder: the module, the dialog script beside it, and the help folder.
#
#   Orbiculon.dll
#   Orbiculon.js
#   HelpFolder/index.html
#
# (The dialog script and the help page install themselves from dialog/ and help/.)
install(TARGETS Orbiculon LIBRARY DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Orbiculon)
set(CPACK_PACKAGE_VENDOR "Orbiculon developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  set(CPACK_SYSTEM_NAME win64)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
# No folder of its own inside the archive: it unpacks into the plug-in folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Symbols are of no use to the host; they make up most of the module's size.
set(CPACK_STRIP_FILES ON)
include(CPack)
