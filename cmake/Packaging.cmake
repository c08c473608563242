# What an installation holds beside the two programs (documents, the sample package, the desktop
# entry, the software-centre entry, the manual pages) and the Debian package made from it:
#   cmake --workflow --preset package   ->  build-package/veltrane_<version>_amd64.deb

# The project's web address: the software-centre entry links its screenshots below it
# (<address>/screenshots/, the PNGs of scripts/screenshots.sh) and the package names it.
set(VELTRANE_HOMEPAGE "https://example.org/veltrane" CACHE STRING "Web address of the project")
# One id for the desktop entry and the software-centre entry; the program names it too.
set(VELTRANE_APP_ID org.example.Veltrane)

set(veltrane_docdir ${CMAKE_INSTALL_DATADIR}/doc/veltrane)
install(FILES README.md DESTINATION ${veltrane_docdir})
# Kept out of share/doc, which minimal systems may leave out: the command-line tour and CI run it.
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/veltrane/examples)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackaging.cmake)
  return()
elseif(APPLE)
  install(FILES LICENSE DESTINATION ${veltrane_docdir})
  return()
endif()

# Debian's layout: the licence is the package's copyright file (a second copy would be an extra
# licence file), and the changelog, in Debian's format, is compressed beside it.
install(FILES LICENSE DESTINATION ${veltrane_docdir} RENAME copyright)
# The sample's clutter (a Thumbs.db among its textures) is there to be found; lintian is told so.
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME veltrane)
set(veltrane_changelog ${PROJECT_SOURCE_DIR}/res/debian/changelog)
file(STRINGS ${veltrane_changelog} veltrane_changelog_top LIMIT_COUNT 1)
if(NOT veltrane_changelog_top MATCHES "^veltrane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "res/debian/changelog does not begin with an entry for ${PROJECT_VERSION}: add one.")
endif()

# Manual pages and the changelog are installed compressed, as Debian wants them.
function(veltrane_install_gzipped file destination)
  get_filename_component(name ${file} NAME)
  set(gzipped ${CMAKE_BINARY_DIR}/gz/${name}.gz)
  add_custom_command(
    OUTPUT ${gzipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gz
    COMMAND gzip -9nc ${file} > ${gzipped}
    DEPENDS ${file})
  string(REPLACE "." "-" target veltrane-gz-${name})
  add_custom_target(${target} ALL DEPENDS ${gzipped})
  install(FILES ${gzipped} DESTINATION ${destination})
endfunction()
veltrane_install_gzipped(${veltrane_changelog} ${veltrane_docdir})

set(veltrane_man ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${veltrane_man})
function(veltrane_install_man page)
  veltrane_install_gzipped(${veltrane_man}/${page} ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# veltrane-cli(1) is written from the program's own --help, so it follows every change to it.
find_program(VELTRANE_HELP2MAN help2man)
if(CMAKE_CROSSCOMPILING)
  # The program cannot run here to describe itself.
elseif(VELTRANE_HELP2MAN)
  add_custom_command(
    OUTPUT ${veltrane_man}/veltrane-cli.1
    COMMAND ${CMAKE_COMMAND} -E env VELTRANE_CLI=$<TARGET_FILE:veltrane-cli>
            ${VELTRANE_HELP2MAN} --no-info --section=1
            "--name=check Poser content packages before publishing them"
            --include=${PROJECT_SOURCE_DIR}/res/man/veltrane-cli.h2m
            --output=${veltrane_man}/veltrane-cli.1 ${PROJECT_SOURCE_DIR}/cmake/cli-help.sh
    DEPENDS veltrane-cli ${PROJECT_SOURCE_DIR}/cmake/cli-help.sh ${PROJECT_SOURCE_DIR}/res/man/veltrane-cli.h2m
    VERBATIM)
  veltrane_install_man(veltrane-cli.1)
else()
  message(WARNING "help2man not found: no veltrane-cli(1) manual page (scripts/deps.sh installs it)")
endif()

# Shell completions, written by the program from its own options, where each shell looks for them.
function(veltrane_install_completion shell name destination)
  set(script ${CMAKE_BINARY_DIR}/completions/${name})
  add_custom_command(
    OUTPUT ${script}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/completions
    COMMAND $<TARGET_FILE:veltrane-cli> completions ${shell} > ${script}
    DEPENDS veltrane-cli)
  add_custom_target(veltrane-completion-${shell} ALL DEPENDS ${script})
  install(FILES ${script} DESTINATION ${destination})
endfunction()
if(NOT CMAKE_CROSSCOMPILING)
  veltrane_install_completion(bash veltrane-cli ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  veltrane_install_completion(zsh _veltrane-cli ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  veltrane_install_completion(fish veltrane-cli.fish ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()

if(VELTRANE_BUILD_GUI)
  configure_file(res/man/veltrane.1.in ${veltrane_man}/veltrane.1 @ONLY)
  veltrane_install_man(veltrane.1)

  set(veltrane_desktop ${PROJECT_SOURCE_DIR}/res/${VELTRANE_APP_ID}.desktop)
  set(veltrane_metainfo ${CMAKE_BINARY_DIR}/res/${VELTRANE_APP_ID}.metainfo.xml)
  configure_file(res/${VELTRANE_APP_ID}.metainfo.xml.in ${veltrane_metainfo} @ONLY)
  install(FILES ${veltrane_desktop} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${veltrane_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  if(VELTRANE_BUILD_TESTS)
    # Both validators fail on errors and on warnings; hints and pedantic notes pass.
    find_program(VELTRANE_DESKTOP_FILE_VALIDATE desktop-file-validate)
    find_program(VELTRANE_APPSTREAMCLI appstreamcli)
    if(VELTRANE_DESKTOP_FILE_VALIDATE)
      add_test(NAME desktop_entry_validates COMMAND ${VELTRANE_DESKTOP_FILE_VALIDATE} ${veltrane_desktop})
      set_tests_properties(desktop_entry_validates PROPERTIES FAIL_REGULAR_EXPRESSION "error|warning")
    endif()
    if(VELTRANE_APPSTREAMCLI)
      add_test(NAME metainfo_validates
               COMMAND ${VELTRANE_APPSTREAMCLI} validate --no-net --no-color ${veltrane_metainfo})
    endif()
  endif()
endif()

# The Debian package.
set(CPACK_PACKAGE_NAME veltrane)
set(CPACK_PACKAGE_VENDOR "The Veltrane developers")
set(CPACK_PACKAGE_CONTACT "The Veltrane developers <veltrane@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${VELTRANE_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check Poser content packages before publishing them")
# The extended description: lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Veltrane checks a Poser content package, a folder tree of Poser library
files and their textures or an archive of one, before it is published. Five
tools: File Names (names too long for the Mac file system), Version Number
(library files saved for a Poser newer than 4, fixed on request with backups),
Check Paths (texture paths that will not load everywhere), List Maker (a
packing list of every file) and Package Check (files the library files refer
to and the package does not hold, and files nothing refers to). The window is
veltrane; veltrane-cli has the same five for terminals and scripts, and check,
which runs them all in one walk of the package.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # veltrane_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
