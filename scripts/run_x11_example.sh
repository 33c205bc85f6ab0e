#!/usr/bin/env bash
# Plays the sample session through braskelot_x11_input on a private Xvfb and
# shows what the X server saw: the program's replies, then every key, button
# and motion event the observer recorded, then the text its focused window
# read. Usage: scripts/run_x11_example.sh [script]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh

if ! command -v Xvfb >/dev/null; then
    echo "SKIP: Xvfb is missing (Debian: apt-get install xvfb, or bash scripts/setup.sh)"
    exit 0
fi
cmake --preset linux >/dev/null
cmake --build --preset linux --target braskelot_x11_input braskelot_x11_observer >/dev/null

script="${1:-examples/session.txt}"
work=$(mktemp -d)
observer=
cleanup() {
    exec 4>&- 2>/dev/null || true
    stop_process "$observer"
    stop_process "${XVFB_PID:-}"
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"

mkfifo "$work/observer_in"
build/linux/tests/x11/braskelot_x11_observer <"$work/observer_in" >"$work/observed" &
observer=$!
exec 4>"$work/observer_in"
wait_for_line OBSERVER_READY "$work/observed" "$observer"

echo "== replies of braskelot_x11_input on $DISPLAY =="
build/linux/braskelot_x11_input <"$script" | tr -d '\r'
echo "MARK end" >&4
wait_for_line "MARK end" "$work/observed" "$observer"
echo WTEXT >&4
wait_for_line 'WTEXT.*' "$work/observed" "$observer"
echo QUIT >&4

echo "== what the X server saw (observer) =="
grep -v -e '^OBSERVER_READY$' -e '^MARK end$' -e '^WTEXT' "$work/observed"
echo "== characters the observer's window read (code points) =="
grep '^WTEXT' "$work/observed" | cut -c7-
