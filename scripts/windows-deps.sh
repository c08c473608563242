#!/usr/bin/env bash
# Provides the static Windows (x86_64-w64-mingw32) libraries that Debian packages no mingw build of:
# Qt 6.4.2 (qtbase: Core, Gui, Widgets, Test; platform plugins windows, offscreen and minimal; the
# windowsvista style), libarchive 3.6.2 and liblzma 5.4.1, in one prefix outside the source tree:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/veltrane/windows-deps-<version>
# When the prepared tarball lies in ../shared/toolchains/ (or in $VELTRANE_WINDOWS_DEPS_DIR), it is
# checked against its SHA256SUMS and unpacked (seconds). Otherwise the same prefix is built from
# Debian's own source packages with Debian's security patches (about 75 minutes on two cores; needs
# root for apt-get and a deb-src line, which is added when missing).
# Prints the prefix's path as its last line. Usage: scripts/windows-deps.sh [--print-prefix]
set -euo pipefail
cd "$(dirname "$0")/.."

version=qt6.4.2-la3.6.2-1
name=veltrane-windows-deps-$version
cache=${XDG_CACHE_HOME:-$HOME/.cache}/veltrane
prefix=$cache/windows-deps-$version
tarballs=${VELTRANE_WINDOWS_DEPS_DIR:-$(realpath -m ../shared/toolchains)}

if [ -f "$prefix/.complete" ]; then
    [ "${1:-}" = --print-prefix ] || echo "The Windows libraries are ready in $prefix"
    echo "$prefix"
    exit 0
fi
mkdir -p "$cache"
# One provider at a time: a second caller waits for the first.
exec 8>"$cache/windows-deps.lock"
flock 8
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

unpack_tarball() {
    echo "Unpacking the Windows libraries from $tarballs/$name.tar.xz (checked against SHA256SUMS)" >&2
    (cd "$tarballs" && grep " $name.tar.xz\$" SHA256SUMS | sha256sum --check --quiet -) >&2 || {
        echo "$tarballs/$name.tar.xz does not match its SHA256SUMS: not used." >&2
        return 1
    }
    local scratch
    scratch=$(mktemp -d "$cache/unpack.XXXXXX")
    tar -xJf "$tarballs/$name.tar.xz" -C "$scratch"
    rm -rf "$prefix"
    mv "$scratch/$name" "$prefix"
    rmdir "$scratch"
}

# Debian's source package $1 unpacked into folder $2, with Debian's patches applied.
debian_source() {
    [ -d "$2" ] || { apt-get source -qq --download-only "$1" >/dev/null &&
        dpkg-source --no-check -x "$1"_*.dsc "$2" >/dev/null; }
}

write_toolchain() {
    cat >"$1" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $2)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC
}

build_liblzma() {
    debian_source xz-utils xz
    cmake -S xz -B xz-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$1" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$2" -DBUILD_SHARED_LIBS=OFF >/dev/null
    cmake --build xz-build >/dev/null && cmake --install xz-build >/dev/null
}

# zlib from Debian's mingw package, liblzma from build_liblzma; nothing else.
build_libarchive() {
    debian_source libarchive libarchive
    local off=()
    for feature in TEST TAR CPIO CAT UNZIP OPENSSL MBEDTLS NETTLE LIBXML2 EXPAT LIBB2 LZ4 ZSTD BZip2 \
        LZO ICONV ACL XATTR; do
        off+=("-DENABLE_$feature=OFF")
    done
    cmake -S libarchive -B libarchive-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$1" \
        -DCMAKE_CROSSCOMPILING_EMULATOR=wine -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$2" -DBUILD_SHARED_LIBS=OFF \
        "${off[@]}" -DENABLE_LZMA=ON -DENABLE_ZLIB=ON >/dev/null
    cmake --build libarchive-build >/dev/null && cmake --install libarchive-build >/dev/null
    # Static only: without the DLL and its import library, find modules take the archive.
    rm -f "$2/lib/libarchive.dll.a" "$2/bin/libarchive.dll"
    mv "$2/lib/libarchive_static.a" "$2/lib/libarchive.a"
}

# Debian's orig tarball with Debian's security patches only (its other patches serve Debian's Linux
# builds), and three changes the mingw build needs.
prepare_qtbase() {
    [ -d qtbase ] && return 0
    apt-get source -qq --download-only qt6-base >/dev/null
    mkdir qtbase.tmp && tar -xJf qt6-base_*.orig.tar.xz -C qtbase.tmp --strip-components=1
    tar -xJf qt6-base_*.debian.tar.xz debian/patches
    for p in debian/patches/cve-*; do patch -d qtbase.tmp -p1 --forward -s <"$p"; done
    # The source package leaves the Wintab header out (its licence forbids changes): the windows
    # platform plugin goes without its Wintab tablet backend (pens still work through Windows Ink).
    local w=qtbase.tmp/src/plugins/platforms/windows no='#if 0 \/\/ no Wintab backend: its header is not in the source package'
    sed -i "s/#if QT_CONFIG(tabletevent)/$no/" "$w/qwindowscontext.cpp"
    sed -i "10s/.*/$no/" "$w/qwindowspointerhandler.cpp"
    sed -i 's/qt_internal_extend_target(QWindowsIntegrationPlugin CONDITION QT_FEATURE_tabletevent/qt_internal_extend_target(QWindowsIntegrationPlugin CONDITION FALSE # no Wintab header/' "$w/CMakeLists.txt"
    sed -i 's/qt_internal_extend_target(QWindowsDirect2DIntegrationPlugin CONDITION QT_FEATURE_tabletevent/qt_internal_extend_target(QWindowsDirect2DIntegrationPlugin CONDITION FALSE # no Wintab header/' \
        qtbase.tmp/src/plugins/platforms/direct2d/CMakeLists.txt
    # Qt 6.4.2's windows plugin asks for dynamic OpenGL even when OpenGL is configured out.
    sed -i '/static inline bool isSoftwareGl/,/^}/ s/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' "$w/qwindowswindow.cpp"
    mv qtbase.tmp qtbase
}

build_qtbase() {
    prepare_qtbase
    local off=()
    for feature in sql network dbus opengl printsupport concurrent xml accessibility system_zlib \
        pkg_config vulkan; do
        off+=("-DFEATURE_$feature=OFF")
    done
    cmake -S qtbase -B qtbase-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$1" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$2" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF "${off[@]}" >/dev/null
    cmake --build qtbase-build >/dev/null && cmake --install qtbase-build >/dev/null
}

build_from_source() {
    echo "No prepared tarball in $tarballs: building the Windows libraries from Debian's source" \
        "packages into $prefix (about 75 minutes on two cores)" >&2
    # shellcheck source=scripts/as-root.sh
    source scripts/as-root.sh
    need_root "Fetching Debian's source packages" "bash scripts/windows-deps.sh"
    if [ -z "$(apt-cache showsrc qt6-base 2>/dev/null)" ]; then
        "${as_root[@]}" tee /etc/apt/sources.list.d/veltrane-deb-src.sources >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        "${as_root[@]}" apt-get update -qq
    fi
    bash scripts/deps.sh g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 dpkg-dev xz-utils >&2
    local work=$cache/windows-deps-$version.work partial=$prefix.partial
    mkdir -p "$work" "$partial"
    (
        cd "$work"
        export WINEDEBUG=-all WINEPREFIX="$work/wineprefix"
        write_toolchain "$work/mingw.cmake" "$partial"
        [ -f "$partial/lib/liblzma.a" ] || build_liblzma "$work/mingw.cmake" "$partial"
        [ -f "$partial/lib/libarchive.a" ] || build_libarchive "$work/mingw.cmake" "$partial"
        [ -f "$partial/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ] ||
            build_qtbase "$work/mingw.cmake" "$partial"
    ) >&2
    rm -rf "$prefix"
    mv "$partial" "$prefix"
}

if [ -f "$tarballs/$name.tar.xz" ] && unpack_tarball; then
    :
else
    build_from_source
fi
touch "$prefix/.complete"
[ "${1:-}" = --print-prefix ] || echo "The Windows libraries are ready in $prefix" >&2
echo "$prefix"
