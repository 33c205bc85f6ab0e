# shellcheck shell=bash
# Sourced by scripts/run_example.sh and its test: an xterm on the current
# DISPLAY whose program (terminal_reader.sh) keeps every byte it reads, a
# session played into it, and what it read in words.

TERMINAL_READER="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/terminal_reader.sh"

# Starts the xterm and gives it the focus; sets XTERM_PID. $1: a folder for its
# files (read: the bytes its program reads; ready; xterm.log).
start_terminal() {
    # UTF-8, cells of 6x13 pixels from (2, 2) in the top left corner of the
    # screen, 600x390 pixels in all: where a session's pointer usually goes.
    LC_ALL=C.UTF-8 xterm -fn fixed -geometry 100x30+0+0 -e sh "$TERMINAL_READER" "$1/read" "$1/ready" \
        >"$1/xterm.log" 2>&1 &
    XTERM_PID=$!
    wait_for_line '[0-9][0-9]*' "$1/ready" "$XTERM_PID" || return 1
    # No window manager gives the focus: the keys go to the terminal wherever
    # the pointer is.
    xdotool windowfocus --sync "$(head -1 "$1/ready")"
}

# Plays the script $2 through the X11 program $1, its replies on standard
# output without the carriage returns, and waits until the terminal's program
# has read all it was sent. $3: the folder of start_terminal.
play_into_terminal() {
    "$1" <"$2" | tr -d '\r' || return 1
    # F12 after everything the program sent: once it is read, so is the rest.
    xdotool key F12 || return 1
    local _ marker=$'\e[24~'
    for _ in $(seq 400); do
        [ "$(tail -c 5 "$3/read" 2>/dev/null)" = "$marker" ] && break
        sleep 0.05
    done
    if [ "$(tail -c 5 "$3/read" 2>/dev/null)" != "$marker" ]; then
        echo "the terminal's program did not read the closing F12 within 20 s" >&2
        return 1
    fi
    truncate -s -5 "$3/read"
}

# What the terminal's program read (the file $1): mouse reports one a line, in
# words; the bytes between them as one "keys:" line, control characters as ^X.
show_terminal_input() {
    local LC_ALL=C data text="" code length controls='@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\]^_'
    local mouse=$'^\e\\[<([0-9]+);([0-9]+);([0-9]+)([Mm])' plain=$'^[^\x01-\x1f\x7f]+'
    # The dot keeps line feeds at the end; a shell variable holds no NUL.
    data=$(sed 's/\x00/^@/g' "$1" && echo .)
    data=${data%.}
    while [ -n "$data" ]; do
        if [[ $data =~ $mouse ]]; then
            [ -z "$text" ] || echo "keys: $text"
            text=""
            describe_mouse_report "${BASH_REMATCH[@]:1}"
            length=${#BASH_REMATCH[0]}
        elif [[ $data =~ $plain ]]; then
            text+=${BASH_REMATCH[0]}
            length=${#BASH_REMATCH[0]}
        else
            printf -v code '%d' "'${data:0:1}"
            if [ "$code" -eq 127 ]; then text+="^?"; else text+="^${controls:code:1}"; fi
            length=1
        fi
        data=${data:length}
    done
    [ -z "$text" ] || echo "keys: $text"
}

# One SGR mouse report: the button code (modifiers 4 Shift, 8 Alt, 16 Control;
# 32 motion; 64 wheel), column, row, M (press or motion) or m (release).
describe_mouse_report() {
    local code=$1 where="column $2, row $3" mods="" buttons=(left middle right)
    ((code & 4)) && mods+="Shift+"
    ((code & 8)) && mods+="Alt+"
    ((code & 16)) && mods+="Control+"
    code=$((code & ~28))
    case $code in
        0 | 1 | 2)
            if [ "$4" = M ]; then
                echo "$mods${buttons[code]} button down at $where"
            else
                echo "$mods${buttons[code]} button up at $where"
            fi
            ;;
        32 | 33 | 34) echo "${mods}pointer moved to $where, ${buttons[code - 32]} button held" ;;
        35) echo "${mods}pointer moved to $where" ;;
        64) echo "${mods}wheel up at $where" ;;
        65) echo "${mods}wheel down at $where" ;;
        66) echo "${mods}wheel left at $where" ;;
        67) echo "${mods}wheel right at $where" ;;
        *) echo "${mods}mouse report $1 at $where" ;;
    esac
}
