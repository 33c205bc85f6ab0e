#!/usr/bin/env bash
# Builds everything and runs every test: the Windows program (cross-compiled,
# then exercised under Wine), the unit, black-box and fault tests, the same
# under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzzer for a fixed
# time, the static checks, and the release packages (built twice, compared,
# installed and run).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== Windows program (mingw-w64) =="
cmake --preset windows
cmake --build --preset windows

echo "== Linux build and tests =="
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

echo "== Python client (installed into a fresh venv) =="
bash clients/python/run_tests.sh build/linux/braskelot_trace

echo "== The same under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "== Fuzzer (60 s) =="
bash fuzz/run.sh 60

echo "== Static checks =="
bash scripts/static_checks.sh

echo "== Release packages (built twice from two clones, then installed and run) =="
/usr/bin/python3 tests/release/check_release.py || [ $? -eq 77 ]
