#!/usr/bin/env bash
# The main job: plays a session (examples/session.txt unless given) through
# braskelot_x11_input on a private Xvfb, into an xterm whose program shows what
# it reads, and prints what that program read; then plays the same session
# through the dry-run program: its replies, and every event the programs inject.
# Installs only what this needs (scripts/setup.sh example) and builds only the
# two programs (the example preset, build/example/).
# Usage: scripts/run_example.sh [--dry-run] [script]
#   --dry-run  the dry run alone; so it is, with one line saying why, when the
#              X11 program, Xvfb, xterm or xdotool cannot be had
set -euo pipefail

no_x11=""
if [ "${1:-}" = --dry-run ]; then
    no_x11="--dry-run given"
    shift
fi
script=$(realpath "${1:-$(dirname "$0")/../examples/session.txt}")
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
source scripts/lib/terminal.sh

if [ -n "$no_x11" ]; then
    bash scripts/setup.sh dry-run
elif ! bash scripts/setup.sh example; then
    echo "note: could not install the packages of the X11 run; going on with what is installed"
fi
cmake --preset example >/dev/null
if [ -z "$no_x11" ]; then
    missing=()
    # The X11 program is built only where the X11 and XTest development files are.
    ninja -C build/example -t query braskelot_x11_input >/dev/null 2>&1 || missing+=("libx11-dev/libxtst-dev")
    for tool in Xvfb xterm xdotool; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    joined=$(IFS=,; echo "${missing[*]}")
    [ ${#missing[@]} -eq 0 ] || no_x11="missing ${joined//,/, }"
fi
if [ -n "$no_x11" ]; then
    cmake --build --preset example --target braskelot_trace >/dev/null
    echo "Dry run only ($no_x11): nothing is injected, the trace below shows what would be."
else
    cmake --build --preset example >/dev/null
fi

work=$(mktemp -d)
cleanup() {
    stop_process "${XTERM_PID:-}"
    stop_process "${XVFB_PID:-}"
    rm -rf "$work"
}
trap cleanup EXIT

# The X11 run; when the frame around the program fails, the dry run still follows.
x11_run() {
    start_xvfb "$work" && start_terminal "$work" || return 1
    echo "== braskelot_x11_input on a private Xvfb ($DISPLAY), into an xterm: replies =="
    play_into_terminal build/example/braskelot_x11_input "$script" "$work" || return 1
    echo "== what the program in the xterm read (cells of 6x13 pixels; ^X is Control+X) =="
    show_terminal_input "$work/read"
}

status=0
if [ -z "$no_x11" ] && ! x11_run; then
    echo "X11 run failed (see above); the dry run follows."
    if [ -s "$work/xterm.log" ]; then sed 's/^/xterm: /' "$work/xterm.log"; fi
    status=1
fi
stop_process "${XTERM_PID:-}"
stop_process "${XVFB_PID:-}"
XTERM_PID=""
XVFB_PID=""

echo "== dry run (braskelot_trace): replies =="
build/example/braskelot_trace <"$script" 2>"$work/trace" | tr -d '\r'
echo "== dry run: every event the program would inject (trace) =="
cat "$work/trace"
exit $status
