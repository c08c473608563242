# The Windows build: everything linked statically, so that no DLL but the system's lies beside the
# programs, and each program with its icon and version record.

# libarchive from the prefix of scripts/windows-deps.sh is a static archive: its users say so at
# compile time, and it needs liblzma, zlib and the system's bcrypt after it.
find_library(VELTRANE_LIBLZMA NAMES liblzma.a lzma REQUIRED)
set_property(TARGET LibArchive::LibArchive APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC)
set_property(TARGET LibArchive::LibArchive APPEND PROPERTY INTERFACE_LINK_LIBRARIES
             ${VELTRANE_LIBLZMA} ZLIB::ZLIB bcrypt)

# The resource script of a program: the icon and the version record ("1, 2, 3, 0") that Explorer
# shows in the file's properties.
function(veltrane_windows_resources target description)
  set(VELTRANE_ICON ${PROJECT_SOURCE_DIR}/res/veltrane.ico)
  set(VELTRANE_FILE_DESCRIPTION ${description})
  get_target_property(VELTRANE_INTERNAL_NAME ${target} OUTPUT_NAME)
  if(NOT VELTRANE_INTERNAL_NAME)
    set(VELTRANE_INTERNAL_NAME ${target})
  endif()
  set(rc ${CMAKE_BINARY_DIR}/res/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/res/veltrane.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS ${VELTRANE_ICON})
endfunction()

veltrane_windows_resources(veltrane-cli "Veltrane command line")
if(VELTRANE_BUILD_GUI)
  veltrane_windows_resources(veltrane "Veltrane")
endif()
