#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt-get, runs the installed
# programs on the installed sample package and the window without a display, checks the installed
# desktop and software-centre entries, manual pages and stripped binaries, and removes the package
# again (also when a check fails). Needs root or sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/package.sh
deb=$(ls build-package/veltrane_*_amd64.deb)
version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# Debian's package checker, pedantic tags included: the package stays clean.
if ! command -v lintian >/dev/null 2>&1; then
    bash scripts/apt-step.sh "Installing lintian" apt-get install -y --no-install-recommends lintian
fi
lintian --pedantic --fail-on error,warning,info,pedantic "$deb"

# One install at a time on a shared machine.
exec 9>/tmp/veltrane-package-roundtrip.lock
flock 9

# A package left from an earlier run would keep apt-get from installing this one.
if dpkg-query -W -f='${Status}' veltrane 2>/dev/null | grep -q "install ok installed"; then
    bash scripts/apt-step.sh "Removing the installed veltrane first" apt-get purge -y veltrane
fi
bash scripts/apt-step.sh "Installing $deb" apt-get install -y "./$deb"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; bash scripts/apt-step.sh "Removing the package" apt-get purge -y veltrane' EXIT

fail() {
    echo "package check failed: $*" >&2
    exit 1
}

[ "$(/usr/bin/veltrane-cli --version)" = "veltrane-cli $version" ] || fail "veltrane-cli --version"
sample=/usr/share/veltrane/examples/SamplePackage
checks=(paths)
# The one-walk check of every tool, where this version has it.
if /usr/bin/veltrane-cli --help | grep -q '^  check '; then
    checks+=(check)
fi
for sub in "${checks[@]}"; do
    status=0
    out=$(/usr/bin/veltrane-cli "$sub" "$sample" 2>/dev/null) || status=$?
    # The sample has one of every problem: status 1, and Barrel.pp2's unquoted spaces reported.
    [ "$status" -eq 1 ] || fail "veltrane-cli $sub on the sample package: status $status"
    grep -q "/Barrel.pp2" <<<"$out" || fail "veltrane-cli $sub did not report Barrel.pp2"
done

# Without a display, with one that does not answer, or with a Wayland session that has ended, the
# window says so in one line that names veltrane-cli and ends with status 1, instead of the toolkit
# aborting it.
dead=150
while [ -e "/tmp/.X11-unix/X$dead" ]; do
    dead=$((dead + 1))
done
for setting in "DISPLAY=" "DISPLAY=:$dead" "WAYLAND_DISPLAY=wayland-gone"; do
    status=0
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$scratch" "$setting" \
        /usr/bin/veltrane 2>&1) || status=$?
    [ "$status" -eq 1 ] || fail "veltrane with $setting ended with status $status: $out"
    [ "$(wc -l <<<"$out")" -eq 1 ] && grep -q "veltrane-cli" <<<"$out" ||
        fail "veltrane with $setting said: $out"
done

desktop=/usr/share/applications/org.example.Veltrane.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
appstreamcli validate --no-net --no-color /usr/share/metainfo/org.example.Veltrane.metainfo.xml || fail "metainfo"
for page in veltrane veltrane-cli; do
    [ -s "/usr/share/man/man1/$page.1.gz" ] || fail "no manual page $page(1)"
done
# The shell completions where each shell finds them, and bash reads its own.
for file in /usr/share/bash-completion/completions/veltrane-cli /usr/share/zsh/vendor-completions/_veltrane-cli \
    /usr/share/fish/vendor_completions.d/veltrane-cli.fish; do
    [ -s "$file" ] || fail "no completions $file"
done
bash -n /usr/share/bash-completion/completions/veltrane-cli || fail "bash completions"
for program in /usr/bin/veltrane /usr/bin/veltrane-cli; do
    if readelf --section-headers "$program" | grep -q -e '\.symtab' -e '\.debug_'; then
        fail "$program is not stripped"
    fi
done

# The menu entry starts the window: its command is still running after five seconds.
command=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ %[fFuU]//')
status=0
mkdir -m 0700 "$scratch/config" "$scratch/runtime"
XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1024x768x24" timeout 5 $command "$sample" >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "the menu entry's command '$command' ended with status $status"

echo "Package round trip passed: $deb"
