#!/usr/bin/env bash
# Makes the Windows setup and portable zip with cpack (after scripts/test-windows.sh built
# build-windows), installs the setup silently under wine in a wine prefix of its own, runs the
# installed programs (veltrane-cli.exe on the installed sample package and on a zip of it, the
# window on a virtual X server), uninstalls silently and checks that nothing is left in Program
# Files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh nsis wine wine64 xvfb xdotool zip
version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

(cd build-windows && cpack -C Release >cpack.log) || { cat build-windows/cpack.log; exit 1; }
setup=build-windows/Veltrane-$version-win64-setup.exe
portable=build-windows/Veltrane-$version-win64.zip
[ -f "$setup" ] && [ -f "$portable" ] || { echo "cpack made neither $setup nor $portable" >&2; exit 1; }
unzip -l "$portable" | grep -q ' bin/veltrane.exe$' || { echo "$portable holds no bin/veltrane.exe" >&2; exit 1; }

export WINEDEBUG=-all
export WINEPREFIX=$(mktemp -d /tmp/veltrane-wine-install.XXXXXX)
scratch=$(mktemp -d)
virtual_display_pid=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$virtual_display_pid" ] && kill "$virtual_display_pid" 2>/dev/null
    rm -rf "$WINEPREFIX" "$scratch"
}
trap cleanup EXIT
fail() {
    echo "Windows setup check failed: $*" >&2
    exit 1
}

wine "$setup" /S
wineserver -w
program_files="$WINEPREFIX/drive_c/Program Files"
installed="$program_files/Veltrane"
[ -f "$installed/bin/veltrane.exe" ] || fail "the setup installed no bin\\veltrane.exe"
cli() { wine "C:\\Program Files\\Veltrane\\bin\\veltrane-cli.exe" "$@" 2>/dev/null | tr -d '\r'; }

[ "$(cli --version)" = "veltrane-cli $version" ] || fail "veltrane-cli.exe --version: $(cli --version)"
sample='C:\Program Files\Veltrane\share\veltrane\examples\SamplePackage'
(cd "$installed/share/veltrane/examples" && zip -qr "$scratch/SamplePackage.zip" SamplePackage)
for package in "$sample" "Z:${scratch//\//\\}\\SamplePackage.zip"; do
    status=0
    out=$(cli check "$package") || status=$?
    # The sample has one of every problem: status 1, and Barrel.pp2's unquoted spaces reported.
    [ "$status" -eq 1 ] || fail "veltrane-cli.exe check $package: status $status"
    grep -q 'VeltraneSamples\\Barrel.pp2' <<<"$out" || fail "veltrane-cli.exe check $package did not report Barrel.pp2"
done

# The installed window shows on a virtual X server. The wine server the command-line runs left (and its
# desktop process, which knows no display) ends first, or the window would be made without one.
wineserver -k 2>/dev/null || true
wineserver -w
# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display
wine "C:\\Program Files\\Veltrane\\bin\\veltrane.exe" >"$scratch/window.log" 2>&1 &
wait_for_window >/dev/null ||
    fail "the installed veltrane.exe showed no window within two minutes: $(head -c 2000 "$scratch/window.log")"
wineserver -k
wineserver -w

wine "C:\\Program Files\\Veltrane\\Uninstall.exe" /S
wineserver -w
[ ! -e "$installed" ] || fail "the uninstaller left $(cd "$program_files" && find Veltrane | head -5 | tr '\n' ' ')"
echo "Windows setup: installed, tried and uninstalled cleanly under wine ($setup, $portable)"
