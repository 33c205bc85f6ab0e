#!/usr/bin/env bash
# Builds braskelot_x11_input, the X event observer and the minimal XTest reader
# in build/linux and runs the X11 benchmarks on a private Xvfb; extra arguments
# go to the driver (--quick, --rounds N). One line and exit 0 when a tool is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "x11 benchmarks skipped: $tool is not installed"
        exit 0
    fi
done
if [[ ! -f /usr/include/X11/extensions/XTest.h ]]; then
    echo "x11 benchmarks skipped: the X11 and XTest development files (libx11-dev libxtst-dev) are not installed"
    exit 0
fi
cmake --preset linux >/dev/null
cmake --build build/linux -j2 --target braskelot_x11_input braskelot_x11_observer braskelot_x11_reference_reader
exec /usr/bin/python3 bench/x11_bench.py --build build/linux "$@"
