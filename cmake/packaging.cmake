# The download a player unpacks and runs: `cmake --build <build> --target package`.
#
# For Windows it is a zip holding norvak.exe and the text on using it from a console, at the
# top of one folder. Only the "player" component goes in, so whatever else the project
# installs (the library, headers, CMake package) stays out of the player's zip.

if(WIN32)
  # The linked program is sealed in place after the build; a verbatim copy keeps the seal
  # (no strip: PROGRAMS are installed as they are, even with `cmake --install --strip`).
  # Installed only for the zip, or by `cmake --install <build> --component player`.
  install(PROGRAMS $<TARGET_FILE:norvak> DESTINATION . COMPONENT player EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/README.txt DESTINATION . COMPONENT player EXCLUDE_FROM_ALL)

  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL player)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  # Unpacks into one folder named after the package, not loose files.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME norvak-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
else()
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_PACKAGE_NAME norvak)
set(CPACK_PACKAGE_VENDOR norvak)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converter for the packed save files of the game")
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_STRIP_FILES OFF)
include(CPack)
