#!/bin/sh
# The application of scripts/run_example.sh, run in an xterm: it reads what the
# terminal gives it, keys and mouse reports, shows it (as cat -v does) and keeps
# every byte in a file. Usage: terminal_reader.sh OUTPUT READY
# READY gets the xterm's window id once the terminal reports the mouse.
set -e
# Every byte as it comes: no line editing, no echo, no signal keys.
stty raw -echo
# Mouse reports for every motion, press, release and wheel turn, in the SGR
# form (ESC [ < button ; column ; row M or m); then a status request, whose
# answer (ESC [ 0 n) comes once the terminal has taken the modes in.
printf '\033[?1003h\033[?1006h\033[5n'
dd bs=1 count=4 status=none >/dev/null
echo "$WINDOWID" >"$2.new"
mv "$2.new" "$2"
tee "$1" | cat -v
