# The Windows installer and the portable zip, made by cpack in the build folder:
#   Veltrane-<version>-win64-setup.exe  (NSIS: licence page, Start-menu shortcut, uninstaller,
#                                         veltrane-cli.exe on the PATH on request)
#   Veltrane-<version>-win64.zip        (the same files, unpacked anywhere and run from there)
# The setup installs for all users when it runs with administrator rights, otherwise for the
# current user; its PATH page offers both. Included by Packaging.cmake on Windows.
install(FILES LICENSE DESTINATION ${veltrane_docdir})

set(CPACK_PACKAGE_NAME Veltrane)
set(CPACK_PACKAGE_VENDOR "The Veltrane developers")
set(CPACK_PACKAGE_HOMEPAGE_URL ${VELTRANE_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Check Poser content packages before publishing them")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Veltrane)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Veltrane)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_FILE_NAME Veltrane-${PROJECT_VERSION}-win64)
# The setup's own name; the zip keeps the plain one.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/VeltraneCPackOptions.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
     "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n"
     "  set(CPACK_PACKAGE_FILE_NAME \"${CPACK_PACKAGE_FILE_NAME}-setup\")\n"
     "endif()\n")
# The portable zip holds the files without a folder around them.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

# veltrane.exe in the Start menu (the shortcut's name, then its program).
set(CPACK_PACKAGE_EXECUTABLES veltrane Veltrane)
set(CPACK_NSIS_PACKAGE_NAME Veltrane)
set(CPACK_NSIS_DISPLAY_NAME "Veltrane ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/veltrane.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/veltrane.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME "${CMAKE_INSTALL_BINDIR}\\\\veltrane.exe")
set(CPACK_NSIS_URL_INFO_ABOUT ${VELTRANE_HOMEPAGE})
# The installer's page that offers veltrane-cli.exe (in bin\) on the PATH, for all users or one.
set(CPACK_NSIS_MODIFY_PATH ON)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit setup for the 64-bit programs (NSIS makes 32-bit ones unless told).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
include(CPack)
