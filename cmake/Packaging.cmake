# What an installation holds (the layout is described in cmake/InstallLayout.cmake;
# the dialog script and the help page install themselves from dialog/ and help/), and
# the packages cpack makes of it:
#   Linux:    orbiculon_<version>_amd64.deb              (cpack -G DEB)
#   Windows:  Orbiculon-<version>-win64.zip               the plug-in, for the host
#             Orbiculon-<version>-win64-tools.zip         the orbiculon command
if(WIN32)
  install(TARGETS Orbiculon LIBRARY DESTINATION . COMPONENT plugin)
  install(TARGETS orbiculon_launcher RUNTIME DESTINATION . COMPONENT tools)
else()
  install(TARGETS orbiculon_launcher RUNTIME DESTINATION bin COMPONENT tools)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION share/doc/orbiculon/examples COMPONENT tools
          PATTERN expected EXCLUDE)
endif()
install(TARGETS Orbiculon LIBRARY DESTINATION ${ORBICULON_TOOLS_FOLDER} COMPONENT tools)
install(TARGETS standin_host RUNTIME DESTINATION ${ORBICULON_TOOLS_FOLDER} COMPONENT tools)

set(CPACK_PACKAGE_NAME Orbiculon)
set(CPACK_PACKAGE_VENDOR "Orbiculon developers")
set(CPACK_PACKAGE_CONTACT "Orbiculon developers <orbiculon@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Symbols are of no use to users; they make up most of the programs' size.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL plugin tools)
  set(CPACK_ARCHIVE_PLUGIN_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
  set(CPACK_ARCHIVE_TOOLS_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-tools)
  # No folder of its own inside either archive: the plug-in unpacks into the host's
  # plug-in folder, the tools into a folder the user picks.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME orbiculon)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The libraries the programs link (the C and C++ runtimes) become the package's
  # dependencies, each at the version the build used.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
endif()
include(CPack)
