#!/usr/bin/env bash
# Installs the client into a fresh virtual environment (Debian's python3,
# offline) and runs its tests against the installed package and the dry-run
# program, then against braskelot_x11_input on a private Xvfb beside the X
# event observer and braskelot_wayland_input on a private headless sway beside
# the Wayland observer (skipped when one is missing, failed then under CI=true).
# Usage: bash clients/python/run_tests.sh [path/to/braskelot_trace]
# The pairs: $BRASKELOT_X11_PROGRAM and $BRASKELOT_X11_OBSERVER,
# $BRASKELOT_WAYLAND_PROGRAM and $BRASKELOT_WAYLAND_OBSERVER, by default the
# ones in build/linux.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(realpath "$here/../..")"
export BRASKELOT_TRACE="$(realpath "${1:-$repo/build/linux/braskelot_trace}")"
export BRASKELOT_X11_PROGRAM="$(realpath -m "${BRASKELOT_X11_PROGRAM:-$repo/build/linux/braskelot_x11_input}")"
export BRASKELOT_X11_OBSERVER="$(realpath -m "${BRASKELOT_X11_OBSERVER:-$repo/build/linux/tests/x11/braskelot_x11_observer}")"
export BRASKELOT_WAYLAND_PROGRAM="$(realpath -m "${BRASKELOT_WAYLAND_PROGRAM:-$repo/build/linux/braskelot_wayland_input}")"
export BRASKELOT_WAYLAND_OBSERVER="$(realpath -m "${BRASKELOT_WAYLAND_OBSERVER:-$repo/build/linux/tests/wayland/braskelot_wayland_observer}")"
# The tests run from a copy; the drivers' helpers stay in the checkout.
export BRASKELOT_REPO="$repo"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$tmp/venv"
# Built from a copy, so the checkout gets no build or egg-info folders.
mkdir "$tmp/src" && cp -r "$here/pyproject.toml" "$here/README.md" "$here/src" "$tmp/src/"
"$tmp/venv/bin/pip" install -q --no-build-isolation --no-index "$tmp/src"
cp -r "$here/tests" "$tmp/tests"
cd "$tmp"
# Exit 5 (no tests collected) is a failure like any other non-zero code.
"$tmp/venv/bin/python" -m pytest -q -rs -p no:cacheprovider tests
