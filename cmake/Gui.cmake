# The Qt 6 program: the veltrane_gui library (everything but main) and the veltrane executable.
# Includes run one way: app -> pages -> (dialogs, base), dialogs -> base; base includes none of
# the others.
# QUIET: the toolkit probes for libraries it may do without (XKB), and "Could NOT find" would
# read like a missing dependency; a missing Qt still stops the configuration with its error.
find_package(Qt6 6.2 REQUIRED COMPONENTS Widgets QUIET)

# The framework every window part builds on: sheet and page, message boxes, the progress window,
# the remembered-path store.
set(VELTRANE_BASE_SOURCES
  base/Notifier.cpp
  base/Notifier.h
  base/ProgressWindow.cpp
  base/ProgressWindow.h
  base/PropertyPage.cpp
  base/PropertyPage.h
  base/PropertySheet.cpp
  base/PropertySheet.h
  base/RegistryKey.cpp
  base/RegistryKey.h)
# The folder picker's window (its rules are the veltrane_picker library, dialogs/CMakeLists.txt).
set(VELTRANE_DIALOG_SOURCES
  dialogs/FolderDialog.cpp
  dialogs/FolderDialog.h
  dialogs/FolderEdit.cpp
  dialogs/FolderEdit.h
  dialogs/NameIconProvider.cpp
  dialogs/NameIconProvider.h)
# The page frame and the five tool pages.
set(VELTRANE_PAGE_SOURCES
  pages/CheckerPage.cpp
  pages/CheckerPage.h
  pages/FileChooser.h
  pages/FileListMaker.cpp
  pages/FileListMaker.h
  pages/FileNameCheck.cpp
  pages/FileNameCheck.h
  pages/FolderChooser.h
  pages/FolderChooserFactory.cpp
  pages/GuiRunContext.cpp
  pages/GuiRunContext.h
  pages/PackageCheck.cpp
  pages/PackageCheck.h
  pages/PageFrame.cpp
  pages/PageFrame.h
  pages/PathsCheck.cpp
  pages/PathsCheck.h
  pages/QtFileChooser.cpp
  pages/QtFileChooser.h
  pages/VersionCheck.cpp
  pages/VersionCheck.h)
# The program object, the main sheet and the About box.
set(VELTRANE_APP_SOURCES
  app/AboutDlg.cpp
  app/AboutDlg.h
  app/AppIcon.cpp
  app/AppIcon.h
  app/MainSheet.cpp
  app/MainSheet.h
  app/StartArguments.cpp
  app/StartArguments.h
  app/VeltraneApp.cpp
  app/VeltraneApp.h)
list(TRANSFORM VELTRANE_BASE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
list(TRANSFORM VELTRANE_DIALOG_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
list(TRANSFORM VELTRANE_PAGE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
list(TRANSFORM VELTRANE_APP_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)

add_library(veltrane_gui STATIC
  ${VELTRANE_BASE_SOURCES} ${VELTRANE_DIALOG_SOURCES} ${VELTRANE_PAGE_SOURCES} ${VELTRANE_APP_SOURCES}
  ${PROJECT_SOURCE_DIR}/res/veltrane.qrc)
set_target_properties(veltrane_gui PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(veltrane_gui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(veltrane_gui PUBLIC veltrane_picker veltrane_core Qt6::Widgets)
target_link_libraries(veltrane_gui PRIVATE veltrane_warnings)
# Every conversion between QString and bytes is written out.
target_compile_definitions(veltrane_gui PUBLIC QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY)
add_executable(veltrane WIN32 MACOSX_BUNDLE ${PROJECT_SOURCE_DIR}/app/main.cpp)
set_target_properties(veltrane PROPERTIES
  AUTOMOC ON
  # scripts/start.sh runs build/veltrane.
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(veltrane PRIVATE veltrane_gui)
target_link_libraries(veltrane PRIVATE veltrane_warnings)

install(TARGETS veltrane
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        BUNDLE DESTINATION .)
if(UNIX AND NOT APPLE)
  install(FILES ${PROJECT_SOURCE_DIR}/res/veltrane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/veltrane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME veltrane.png)
  endforeach()
endif()
