#!/usr/bin/env bash
# Builds the benchmarks in build/bench and runs them; extra arguments go to the
# driver (--quick, --rounds N, Google Benchmark flags).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

cmake --preset linux -B build/bench -DBRASKELOT_TESTS=OFF >/dev/null
cmake --build build/bench --target braskelot_bench
exec build/bench/bench/braskelot_bench "$@"
