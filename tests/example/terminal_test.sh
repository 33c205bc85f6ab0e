#!/usr/bin/env bash
# The terminal of scripts/run_example.sh: how it puts what its program read in
# words (a table of byte strings), then, given braskelot_x11_input, the sample
# session typed into it on a private Xvfb and what its program read.
# Usage: terminal_test.sh [braskelot_x11_input]
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/scripts/lib/xvfb.sh"
source "$root/scripts/lib/terminal.sh"

work=$(mktemp -d)
cleanup() {
    stop_process "${XTERM_PID:-}"
    stop_process "${XVFB_PID:-}"
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
check() { # name expected seen
    if [ "$2" = "$3" ]; then
        echo "PASS $1"
    else
        echo "FAIL $1"
        diff <(echo "$2") <(echo "$3") | sed 's/^/    /'
        failed=1
    fi
}

# Bytes (printf format) | what show_terminal_input says, lines joined by "|".
cases=(
    'h\303\251llo 😀|keys: héllo 😀'
    '\001\r\t\177\033[A|keys: ^A^M^I^?^[[A'
    'a\000b|keys: a^@b'
    'x\n\n|keys: x^J^J'
    '\033[<0;3;4M\033[<0;3;4m|left button down at column 3, row 4|left button up at column 3, row 4'
    'a\033[<65;1;2Mb|keys: a|wheel down at column 1, row 2|keys: b'
    '\033[<64;1;2M\033[<66;1;2M\033[<67;1;2M|wheel up at column 1, row 2|wheel left at column 1, row 2|wheel right at column 1, row 2'
    '\033[<22;5;6M\033[<2;5;6m|Shift+Control+right button down at column 5, row 6|right button up at column 5, row 6'
    '\033[<35;7;8M\033[<33;9;8M\033[<43;1;1M|pointer moved to column 7, row 8|pointer moved to column 9, row 8, middle button held|Alt+pointer moved to column 1, row 1'
    '\033[<0;3|keys: ^[[<0;3'
    '\033[<128;1;1M|mouse report 128 at column 1, row 1'
)
for case in "${cases[@]}"; do
    # shellcheck disable=SC2059 # the case's bytes are a printf format
    printf "${case%%|*}" >"$work/bytes"
    expected=${case#*|}
    check "shows ${case%%|*}" "${expected//|/$'\n'}" "$(show_terminal_input "$work/bytes")"
done

if [ -z "${1:-}" ]; then
    echo "note: no X11 program given, no session typed into the terminal"
    exit $failed
fi
missing=()
for tool in Xvfb xterm xdotool; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "${CI:-}" = true ]; then
        echo "FAIL: missing ${missing[*]} (CI=true, so this is no skip)"
        exit 1
    fi
    echo "SKIP: missing ${missing[*]}"
    [ $failed -eq 0 ] && exit 77
    exit 1
fi

# The sample session: the moves placed once, the clicks where they go (pixel
# 180,140 in cell 30,11; 400,300 in 67,23), the wheel, Control+A, é through a
# spare keycode, Shift+B.
expected="BRASKELOT_WIN_INPUT_READY
PONG
RESET_OK
pointer moved to column 30, row 11
left button down at column 30, row 11
left button up at column 30, row 11
pointer moved to column 67, row 23
left button down at column 67, row 23
left button up at column 67, row 23
left button down at column 67, row 23
left button up at column 67, row 23
wheel down at column 67, row 23
keys: ^AéB"
if start_xvfb "$work" && start_terminal "$work" &&
    seen=$(play_into_terminal "$1" "$root/examples/session.txt" "$work" && show_terminal_input "$work/read"); then
    check "the sample session, as the terminal's program read it" "$expected" "$seen"
else
    echo "FAIL environment: the terminal did not come up or did not read the session"
    sed 's/^/    xterm: /' "$work/xterm.log" 2>/dev/null
    failed=1
fi
exit $failed
