#!/usr/bin/env bash
# Builds the benchmarks in build/bench and runs them, then the X11 benchmarks
# (bench/run_x11.sh). Extra arguments go to the first driver (--quick,
# --rounds N, Google Benchmark flags); --quick and --rounds N go to both.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

cmake --preset linux -B build/bench -DBRASKELOT_TESTS=OFF >/dev/null
cmake --build build/bench --target braskelot_bench
build/bench/bench/braskelot_bench "$@"

x11_args=()
while (($# > 0)); do
    case "$1" in
    --quick) x11_args+=(--quick) ;;
    --rounds) x11_args+=(--rounds "$2"); shift ;;
    esac
    shift
done
echo
echo "X11 benchmarks"
bash bench/run_x11.sh "${x11_args[@]+"${x11_args[@]}"}"
echo
echo "Wayland benchmarks"
bash bench/run_wayland.sh "${x11_args[@]+"${x11_args[@]}"}"
