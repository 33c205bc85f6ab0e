#!/usr/bin/env bash
# Writes the seed corpus. Each seed is a reader input: a count byte n, n 16-bit
# little-endian read sizes, then the stream (see command_reader_fuzz.cpp).
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)/corpus"
mkdir -p "$out"

# seed NAME TEXT: the text in reads of 4096 bytes (no sizes given).
seed() { printf '\0%b' "$2" >"$out/$1"; }
# split_seed NAME "SIZE..." TEXT: the text in reads of the given sizes.
split_seed() {
    local name=$1 sizes=($2) text=$3
    {
        printf "\\x$(printf %02x ${#sizes[@]})"
        for s in "${sizes[@]}"; do
            s=$((s - 1))
            printf "\\x$(printf %02x $((s & 255)))\\x$(printf %02x $((s >> 8)))"
        done
        printf '%b' "$text"
    } >"$out/$name"
}

seed ping_quit 'PING\nPING 1\nQUIT\nPING\n'
seed move 'MOVE 1 2\nMOVE 3 4\nMOVE x y\nMOVE 1-2\nMOVE  -5   +6junk\nMOVE\nPING\nMOVE 7 8\n'
seed buttons 'DOWN 1 2 0\nDOWN 3 4 1\nDOWN 5 6 2\nUP 1 2 0\nUP 7 8 1\nDOWN 1 2\nUP1 2 0\n'
seed click 'CLICK 10 20 0\nCLICK 10 20 2 3\nCLICK 1 2 1 99\nCLICK 1 2 0 -4\nCLICK 10 20\n'
seed scroll 'SCROLL 0 3\nSCROLL -120 0\nSCROLL 2147483647 -2147483648\nSCROLL 1\n'
seed key_tap 'KEY_TAP 65 0\nKEY_TAP 65 15\nKEY_TAP 0 4 233\nKEY_TAP 16 1\nKEY_TAP -1 0\nKEY_TAP 65\n'
seed key_down_up 'KEY_DOWN 65 5\nKEY_DOWN 66 4\nKEY_UP 67 4\nKEY_DOWN 160 0\nKEY_UP 16 0\nKEY_DOWN 17 1\nKEY_UP 65 5\nKEY_DOWN 0 0 9731\nKEY_UP 0 0 9731\nKEY_DOWN 91 8\nKEY_DOWN 65601 4294967295\n'
seed resets 'KEY_DOWN 65 1\nDOWN 1 2 2\nRESET_KEYS\nRESET\nRESET \nRESET_KEYS x\nreset\n'
full=''
for code in $(seq 1 300); do full+="KEY_DOWN $code 0\\n"; done
seed full_table "${full}KEY_DOWN 65 15\\nKEY_UP 5 0\\nKEY_DOWN 400 1\\nRESET\\n"
seed line_ends 'PI\rNG\r\n\n   \nPING   \nPING\t\n PING\nPING\0junk\nKEY_DOWN 65 0'
long=$(printf 'RESET%506s' '')
seed long_line "${long}junk\\n$(printf 'x%.0s' $(seq 1 600))\\nPING\\n"
split_seed split_lines '2 3 1 9 4096' 'PING\nMOVE 1 2\nMOVE 3 4\nKEY_DOWN 65 1\nQUIT\n'
split_seed split_moves '9 9 9 1' 'MOVE 1 2\nMOVE 3 4\nMOVE 5 6\nPING\n'
