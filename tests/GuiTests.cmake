# Qt Test programs for the window and its pages, one program per test source under app/ and pages/,
# each run by ctest on the offscreen platform with its own temporary settings folder.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_library(veltrane_gui_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/pages/GuiTestSupport.cpp
                                             ${CMAKE_CURRENT_SOURCE_DIR}/pages/GuiTestSupport.h)
set_target_properties(veltrane_gui_test_support PROPERTIES AUTOMOC ON)
target_include_directories(veltrane_gui_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(veltrane_gui_test_support PUBLIC veltrane_gui Qt6::Test)
target_link_libraries(veltrane_gui_test_support PRIVATE veltrane_warnings)
target_compile_definitions(veltrane_gui_test_support PUBLIC
  VELTRANE_EXAMPLES_DIR="${test_path_prefix}${PROJECT_SOURCE_DIR}/examples")

set(VELTRANE_GUI_TEST_SOURCES
  app/KeyboardAndDesktopTest.cpp
  app/MainSheetTest.cpp
  app/RememberedPathTest.cpp
  pages/CheckPathsPageTest.cpp
  pages/FileNamesPageTest.cpp
  pages/ListMakerPageTest.cpp
  pages/PackageCheckPageTest.cpp
  pages/PageFrameTest.cpp
  pages/QtFileChooserTest.cpp
  pages/RunProgressTest.cpp
  pages/VersionNumberPageTest.cpp)
if(CMAKE_CROSSCOMPILING)
  # With static Qt each link is long and under wine each start is slow: one program holds every
  # class, and ctest runs each class in it through a runner that reads its result from a file.
  add_executable(veltrane_gui_tests ${CMAKE_CURRENT_SOURCE_DIR}/pages/GuiTestsMain.cpp ${VELTRANE_GUI_TEST_SOURCES})
  set_target_properties(veltrane_gui_tests PROPERTIES AUTOMOC ON)
  target_compile_definitions(veltrane_gui_tests PRIVATE VELTRANE_GUI_TESTS_IN_ONE_PROGRAM)
  target_link_libraries(veltrane_gui_tests PRIVATE veltrane_gui_test_support veltrane_warnings)
  qt_import_plugins(veltrane_gui_tests INCLUDE Qt6::QOffscreenIntegrationPlugin)
  foreach(source ${VELTRANE_GUI_TEST_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_test(NAME gui.${name}
             COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:veltrane_gui_tests> -DARGS=${name}
                     -DRESULT=${CMAKE_CURRENT_BINARY_DIR}/gui.${name}.txt
                     -P ${PROJECT_SOURCE_DIR}/cmake/QtTestUnderWine.cmake)
    set_tests_properties(gui.${name} PROPERTIES
      LABELS gui
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=60000")
  endforeach()
  return()
endif()

foreach(source ${VELTRANE_GUI_TEST_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  set(target gui_${name})
  add_executable(${target} ${source})
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PRIVATE veltrane_gui_test_support)
  target_link_libraries(${target} PRIVATE veltrane_warnings)
  add_test(NAME gui.${name} COMMAND ${target})
  set_tests_properties(gui.${name} PROPERTIES
    LABELS gui
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=60000")
endforeach()

# Drives the window through one run per tab and writes a PNG of each (scripts/screenshots.sh).
add_executable(veltrane-screenshot-tour ${CMAKE_CURRENT_SOURCE_DIR}/app/ScreenshotTour.cpp)
target_link_libraries(veltrane-screenshot-tour PRIVATE veltrane_gui Qt6::Test)
target_link_libraries(veltrane-screenshot-tour PRIVATE veltrane_warnings)

