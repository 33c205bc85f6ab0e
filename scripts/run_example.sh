#!/usr/bin/env bash
# Builds the dry-run program and plays the sample session through it: the
# replies on standard output, then every event the real program would inject.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target braskelot_trace >/dev/null

script="${1:-examples/session.txt}"
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
echo "== replies (standard output) =="
./build/linux/braskelot_trace <"$script" 2>"$trace" | tr -d '\r'
echo "== injected events (trace) =="
cat "$trace"
