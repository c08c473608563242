# Folder picker tests. Included from the GUI tests; paths are taken from this file's place.
get_filename_component(_veltrane_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)

# The picker's rules need no window: a GoogleTest program over the Qt-free picker sources.
find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB VELTRANE_PICKER_RULES_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*Rules*Test.cpp)
add_executable(veltrane_picker_rules_tests
  ${VELTRANE_PICKER_RULES_TEST_SOURCES}
  ${_veltrane_root}/dialogs/FolderPickerRules.cpp
  ${_veltrane_root}/dialogs/NativeFolderFileSystem.cpp
  ${_veltrane_root}/tests/support/TestTree.cpp)
target_include_directories(veltrane_picker_rules_tests PRIVATE ${_veltrane_root} ${_veltrane_root}/tests)
target_compile_options(veltrane_picker_rules_tests PRIVATE ${VELTRANE_WARNINGS})
target_link_libraries(veltrane_picker_rules_tests PRIVATE veltrane_core GTest::gtest GTest::gtest_main)
gtest_discover_tests(veltrane_picker_rules_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)

# The dialog itself: Qt Test on the offscreen platform.
if(TARGET veltrane_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(veltrane_folder_dialog_tests ${CMAKE_CURRENT_LIST_DIR}/FolderDialogTest.cpp)
  set_target_properties(veltrane_folder_dialog_tests PROPERTIES AUTOMOC ON)
  target_include_directories(veltrane_folder_dialog_tests PRIVATE ${_veltrane_root} ${_veltrane_root}/tests)
  target_compile_options(veltrane_folder_dialog_tests PRIVATE ${VELTRANE_WARNINGS})
  target_link_libraries(veltrane_folder_dialog_tests PRIVATE veltrane_gui Qt6::Test Qt6::Widgets)
  add_test(NAME gui.FolderDialogTest COMMAND veltrane_folder_dialog_tests)
  set_tests_properties(gui.FolderDialogTest PROPERTIES
    LABELS gui
    TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=30000")

  # Not a test: shows the picker on a sample tree and saves pictures (scripts/picker_screenshot.sh).
  add_executable(veltrane-picker-screenshot ${CMAKE_CURRENT_LIST_DIR}/PickerScreenshot.cpp)
  target_include_directories(veltrane-picker-screenshot PRIVATE ${_veltrane_root})
  target_compile_options(veltrane-picker-screenshot PRIVATE ${VELTRANE_WARNINGS})
  target_link_libraries(veltrane-picker-screenshot PRIVATE veltrane_gui Qt6::Test Qt6::Widgets)
endif()
