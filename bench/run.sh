#!/usr/bin/env bash
# Builds the benchmarks in build/bench and runs them; extra arguments go to the
# driver (--quick, --rounds N, Google Benchmark flags).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if grep -q 'add_subdirectory(bench)' CMakeLists.txt; then
    cmake --preset linux -B build/bench -DBRASKELOT_TESTS=OFF >/dev/null
else
    # Until the root builds bench/ itself: a top level that adds both.
    shim="$root/build/bench-shim"
    mkdir -p "$shim"
    cat >"$shim/CMakeLists.txt" <<SHIM
cmake_minimum_required(VERSION 3.24)
project(braskelot_bench_shim LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
add_subdirectory("$root" main)
add_subdirectory("$root/bench" bench)
SHIM
    cmake -S "$shim" -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DBRASKELOT_TESTS=OFF >/dev/null
fi
cmake --build build/bench --target braskelot_bench
exec "$(find build/bench -name braskelot_bench -type f -perm -u+x | head -n 1)" "$@"
