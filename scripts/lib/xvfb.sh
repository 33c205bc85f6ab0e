# shellcheck shell=bash
# Sourced by the scripts that play a session on a private Xvfb: waiting for a
# line in a file, and the server itself on a display number it picks.

# Waits up to 20 s for a line of the file $2 that matches the basic regular
# expression $1 whole. With a process id in $3, gives up as soon as that
# process is gone (it will write nothing more).
wait_for_line() {
    local _
    for _ in $(seq 400); do
        grep -qx -- "$1" "$2" 2>/dev/null && return 0
        if [ -n "${3:-}" ] && ! kill -0 "$3" 2>/dev/null; then
            grep -qx -- "$1" "$2" 2>/dev/null && return 0
            echo "no '$1' in $2: the process that was to write it has ended" >&2
            return 1
        fi
        sleep 0.05
    done
    echo "no '$1' in $2 within 20 s" >&2
    return 1
}

# Starts Xvfb on a free display (it reports the number it took); sets XVFB_PID
# and exports DISPLAY. $1: a folder for the number's file; $2: the screen.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "${2:-1024x768x24}" -nolisten tcp 3>"$1/display" >/dev/null 2>&1 &
    XVFB_PID=$!
    wait_for_line '[0-9][0-9]*' "$1/display" "$XVFB_PID" || return 1
    DISPLAY=":$(head -1 "$1/display")"
    export DISPLAY
}

# Ends a process this script started, if it is still there, and reaps it.
stop_process() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
