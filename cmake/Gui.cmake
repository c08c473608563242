# The Qt 6 program: the veltrane_gui library (everything but main) and the veltrane executable.
find_package(Qt6 6.2 REQUIRED COMPONENTS Widgets)

file(GLOB VELTRANE_GUI_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/app/*.cpp ${PROJECT_SOURCE_DIR}/app/*.h
     ${PROJECT_SOURCE_DIR}/pages/*.cpp ${PROJECT_SOURCE_DIR}/pages/*.h
     ${PROJECT_SOURCE_DIR}/dialogs/*.cpp ${PROJECT_SOURCE_DIR}/dialogs/*.h)
list(REMOVE_ITEM VELTRANE_GUI_SOURCES ${PROJECT_SOURCE_DIR}/app/main.cpp)

add_library(veltrane_gui STATIC ${VELTRANE_GUI_SOURCES} ${PROJECT_SOURCE_DIR}/res/veltrane.qrc)
set_target_properties(veltrane_gui PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(veltrane_gui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(veltrane_gui PUBLIC veltrane_core Qt6::Widgets)
target_compile_options(veltrane_gui PRIVATE ${VELTRANE_WARNINGS})
# Every conversion between QString and bytes is written out.
target_compile_definitions(veltrane_gui PUBLIC QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY)

add_executable(veltrane WIN32 MACOSX_BUNDLE ${PROJECT_SOURCE_DIR}/app/main.cpp)
set_target_properties(veltrane PROPERTIES
  AUTOMOC ON
  # scripts/start.sh runs build/veltrane.
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(veltrane PRIVATE veltrane_gui)
target_compile_options(veltrane PRIVATE ${VELTRANE_WARNINGS})

install(TARGETS veltrane
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        BUNDLE DESTINATION .)
if(UNIX AND NOT APPLE)
  install(FILES ${PROJECT_SOURCE_DIR}/res/veltrane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/veltrane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/veltrane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME veltrane.png)
  endforeach()
endif()
