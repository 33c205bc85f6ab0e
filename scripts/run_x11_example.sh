#!/usr/bin/env bash
# Plays the sample session through braskelot_x11_input on a private Xvfb and
# shows what the X server saw: the program's replies, then every key, button
# and motion event the observer recorded, then the text its focused window
# read. Usage: scripts/run_x11_example.sh [script]
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v Xvfb >/dev/null; then
    echo "SKIP: Xvfb is missing (Debian: apt-get install xvfb, or bash scripts/setup.sh)"
    exit 0
fi
cmake --preset linux >/dev/null
cmake --build --preset linux --target braskelot_x11_input braskelot_x11_observer >/dev/null

script="${1:-examples/session.txt}"
work=$(mktemp -d)
xvfb=
observer=
cleanup() {
    exec 4>&- 2>/dev/null || true
    if [ -n "$observer" ]; then kill "$observer" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 10 s for a line in a file.
wait_for() {
    for _ in $(seq 200); do
        grep -qx "$1" "$2" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "no '$1' in $2" >&2
    exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
wait_for '[0-9]*' "$work/display"
export DISPLAY=":$(head -1 "$work/display")"

mkfifo "$work/observer_in"
build/linux/tests/x11/braskelot_x11_observer <"$work/observer_in" >"$work/observed" &
observer=$!
exec 4>"$work/observer_in"
wait_for OBSERVER_READY "$work/observed"

echo "== replies of braskelot_x11_input on $DISPLAY =="
build/linux/braskelot_x11_input <"$script" | tr -d '\r'
echo "MARK end" >&4
wait_for "MARK end" "$work/observed"
echo WTEXT >&4
wait_for 'WTEXT.*' "$work/observed"
echo QUIT >&4

echo "== what the X server saw (observer) =="
grep -v -e '^OBSERVER_READY$' -e '^MARK end$' -e '^WTEXT' "$work/observed"
echo "== characters the observer's window read (code points) =="
grep '^WTEXT' "$work/observed" | cut -c7-
