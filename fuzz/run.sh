#!/usr/bin/env bash
# Builds the command-reader fuzzer and runs it for a fixed time (default 60 s)
# on a copy of the seed corpus. Exits non-zero on a crash, a sanitizer report or
# a broken invariant, leaving the input that did it in the log, hex-dumped.
#   fuzz/run.sh [seconds]
set -uo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz || exit 1

work=build/fuzz/run
log=build/fuzz/run.log
rm -rf "$work"
mkdir -p "$work/artifacts"
cp -r fuzz/corpus "$work/corpus"

echo "fuzzing the command reader for ${seconds} s; log in $log"
build/fuzz/fuzz/braskelot_fuzz_command_reader \
    -max_total_time="$seconds" -max_len=8192 -timeout=10 -print_final_stats=1 \
    -dict=fuzz/commands.dict -artifact_prefix="$work/artifacts/" \
    "$work/corpus" >"$log" 2>&1
status=$?

# The last progress line says how much of the reader the run reached.
grep -E '^#[0-9]+' "$log" | tail -n 1
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log"

shopt -s nullglob
artifacts=("$work"/artifacts/*)
if [ "$status" -ne 0 ] || [ ${#artifacts[@]} -gt 0 ]; then
    {
        echo
        echo "== fuzzer failed (exit $status) =="
        for artifact in "${artifacts[@]}"; do
            echo "-- reproducing input: $artifact ($(stat -c %s "$artifact") bytes)"
            od -A x -t x1z -v "$artifact"
        done
    } >>"$log"
    grep -E -A3 'invariant broken|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error' "$log" | head -n 20
    # CI keeps only what is printed: the reproducing input goes there too.
    for artifact in "${artifacts[@]}"; do
        echo "-- reproducing input: $artifact"
        od -A x -t x1z -v "$artifact"
    done
    echo "fuzzer failed (exit $status); the reproducing input is hex-dumped at the end of $log"
    echo "replay: build/fuzz/fuzz/braskelot_fuzz_command_reader <input>"
    exit 1
fi
echo "no crash and no broken invariant in ${seconds} s"
