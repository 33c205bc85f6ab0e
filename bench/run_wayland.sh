#!/usr/bin/env bash
# Builds braskelot_wayland_input and the Wayland event observer in build/linux
# and runs the Wayland benchmarks on a private headless sway; extra arguments
# go to the driver (--quick, --rounds N). One line and exit 0 when a tool is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

for tool in sway wtype pkg-config; do
    if ! command -v "$tool" >/dev/null; then
        echo "wayland benchmarks skipped: $tool is not installed"
        exit 0
    fi
done
if ! pkg-config --exists wayland-client xkbcommon wayland-protocols; then
    echo "wayland benchmarks skipped: libwayland-dev, libxkbcommon-dev or wayland-protocols is not installed"
    exit 0
fi
cmake --preset linux >/dev/null
cmake --build build/linux -j2 --target braskelot_wayland_input braskelot_wayland_observer braskelot_wayland_reference_reader
exec /usr/bin/python3 bench/wayland_bench.py --build build/linux "$@"
