# Cross-build of Veltrane for 64-bit Windows with Debian's mingw-w64 (POSIX thread model), statically
# linked; the tests run under wine.
#
# Qt and libarchive come from the static prefix of scripts/windows-deps.sh (Debian packages no
# mingw build of either). The prefix is VELTRANE_WINDOWS_DEPS when set (variable or environment),
# otherwise the script's cache folder; when that is missing, the script is run to provide it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(veltrane_deps_version qt6.4.2-la3.6.2-1)
if(NOT VELTRANE_WINDOWS_DEPS AND DEFINED ENV{VELTRANE_WINDOWS_DEPS})
  set(VELTRANE_WINDOWS_DEPS $ENV{VELTRANE_WINDOWS_DEPS})
endif()
if(NOT VELTRANE_WINDOWS_DEPS)
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(veltrane_cache $ENV{XDG_CACHE_HOME})
  else()
    set(veltrane_cache $ENV{HOME}/.cache)
  endif()
  set(VELTRANE_WINDOWS_DEPS ${veltrane_cache}/veltrane/windows-deps-${veltrane_deps_version})
  if(NOT EXISTS ${VELTRANE_WINDOWS_DEPS}/.complete)
    execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows-deps.sh --print-prefix
                    OUTPUT_QUIET RESULT_VARIABLE veltrane_deps_status)
    if(NOT veltrane_deps_status EQUAL 0)
      message(FATAL_ERROR "scripts/windows-deps.sh could not provide the Windows libraries.")
    endif()
  endif()
endif()
set(VELTRANE_WINDOWS_DEPS ${VELTRANE_WINDOWS_DEPS} CACHE PATH "Prefix of the static Windows Qt and libarchive")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VELTRANE_WINDOWS_DEPS})
list(APPEND CMAKE_PREFIX_PATH ${VELTRANE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Header-only packages (CLI11, nlohmann/json) come from the host's /usr/share.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
# zlib as a static library too (Debian's mingw package has both).
set(ZLIB_USE_STATIC_LIBS ON)
# The host's Qt of the same version supplies moc, rcc and uic.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
