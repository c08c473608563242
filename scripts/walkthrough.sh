#!/usr/bin/env bash
# A keyboard walk-through of the window under a real window manager: a virtual X server with
# openbox, driven by xdotool. Starts the program with a PATH argument, presses Enter, tabs around,
# runs Package Check, presses Escape, opens the About box, catches the progress window of a long
# run and quits with the keyboard, writing a PNG at each step (and the progress window's frame
# hints) to build/walkthrough/. Not run by CI.
# Usage: scripts/walkthrough.sh [output-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/walkthrough}"

# What the walk-through needs beyond the build's own packages.
need=()
for tool in Xvfb:xvfb openbox:openbox xdotool:xdotool import:imagemagick xprop:x11-utils; do
    command -v "${tool%%:*}" >/dev/null 2>&1 || need+=("${tool#*:}")
done
if [ "${#need[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake --preset default >/dev/null
cmake --build --preset default --target veltrane
program="$PWD/build/veltrane"
sample="$PWD/examples/SamplePackage"

work=$(mktemp -d)
mkdir -p "$out" "$work/runtime" "$work/config"
chmod 0700 "$work/runtime"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

display=":$((50 + RANDOM % 40))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# A private settings folder: the walk-through never touches the user's remembered path.
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
"$program" --version >"$out/version.txt"

step=0
shot() {
    step=$((step + 1))
    sleep "${2:-0.6}"
    import -window root "$out/$(printf '%02d' "$step")-$1.png"
    echo "$(printf '%02d' "$step")-$1.png"
}
key() { xdotool key --clearmodifiers "$@"; sleep 0.25; }

"$program" "$sample" &
app=$!
pids+=($app)
window=$(xdotool search --sync --name '^Veltrane$' | head -1)
xdotool windowactivate --sync "$window" 2>/dev/null || true
shot start-with-path-argument 1

# Enter in the path box runs the check; then the path typed anew.
key Return
shot file-names-after-enter
key ctrl+a
xdotool type --delay 20 "$sample/Runtime"
key Return
shot file-names-typed-path

# Tab through the page (path box, Browse, the checked mode button, "&Check!", the two counters,
# the results) to the tab bar and Quit, and round again.
for _ in $(seq 7); do key Tab; done
shot focus-on-tab-bar
key Tab
shot focus-on-quit
key Tab
shot focus-back-on-path-box

# A stray Escape leaves the window open.
key Escape
key Escape
if kill -0 "$app" 2>/dev/null && xdotool search --name '^Veltrane$' >/dev/null; then
    echo "Escape: the window stayed open"
else
    echo "Escape: the window closed" >&2
    exit 1
fi

# Package Check with the keyboard: Ctrl+Tab to the fifth tab, type, Enter.
for _ in $(seq 4); do key ctrl+Tab; done
key ctrl+a
xdotool type --delay 20 "$sample"
key Return
shot package-check

# The About box from the window's context menu.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + 12)) click 3
sleep 0.5
key Up
key Return
shot about-box
key Return

# A long run: the progress window, its frame hints, its place over the main window.
mkdir -p "$work/tree"
for _ in $(seq 2000); do printf '\ttextureMap ":Runtime:textures:a:b.jpg"\n'; done >"$work/tree/f0.cr2"
for f in $(seq 4000); do ln "$work/tree/f0.cr2" "$work/tree/f$f.cr2"; done
key ctrl+shift+Tab
key ctrl+shift+Tab
key ctrl+a
xdotool type --delay 10 "$work/tree"
key Tab
key Tab
key Down  # "All files in this folder"
key Return
# The program is stopped while the window is looked at, so the run cannot end meanwhile.
progress=""
for _ in $(seq 200); do
    progress=$(xdotool search --name '^Processing\.\.\.\.\.$' 2>/dev/null | head -1 || true)
    [ -n "$progress" ] && break
    sleep 0.05
done
if [ -n "$progress" ]; then
    sleep 0.2
    kill -STOP "$app"
    shot progress-window 0.3
    {
        xprop -id "$progress" _MOTIF_WM_HINTS _NET_WM_WINDOW_TYPE WM_NORMAL_HINTS
        echo "progress window:"
        xdotool getwindowgeometry "$progress"
        echo "main window:"
        xdotool getwindowgeometry "$window"
    } >"$out/progress-frame.txt" 2>&1 || true
    kill -CONT "$app"
else
    echo "the progress window was not seen" >&2
fi
key Escape
shot after-cancel 1

# Quit with the keyboard: from the mode buttons, Tab passes "&Check!", the counters, the results
# and the tab bar to Quit.
for _ in $(seq 6); do key Tab; done
shot focus-on-quit-after-run
key space
for _ in $(seq 30); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
    echo "Quit: the program is still running" >&2
    exit 1
fi
echo "Quit: the program ended"
ls -1 "$out"
