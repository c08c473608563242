# Sourced by the scripts that show the Windows build's window under wine: start_virtual_display
# starts Xvfb on the first free display from :90 on, waits until it answers, exports DISPLAY and
# sets virtual_display_pid (the caller ends it). wait_for_window prints the first visible window
# named exactly "Veltrane" once it shows, or fails after two minutes.
start_virtual_display() {
    local number=90
    while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
        number=$((number + 1))
    done
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    virtual_display_pid=$!
    export DISPLAY=":$number"
    for _ in $(seq 100); do
        xdotool getmouselocation >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}

# Looked for again and again rather than with xdotool's --sync: wine makes and destroys helper windows
# while a program starts, and xdotool ends on the X error of a window gone between its list and its look.
wait_for_window() {
    local window
    for _ in $(seq 240); do
        window=$(xdotool search --onlyvisible --name '^Veltrane$' 2>/dev/null | head -1 || true)
        if [ -n "$window" ]; then
            echo "$window"
            return 0
        fi
        sleep 0.5
    done
    return 1
}
