#!/usr/bin/env bash
# Installs the client into a fresh virtual environment (Debian's python3,
# offline) and runs its tests against the installed package and the dry-run
# program. Usage: bash clients/python/run_tests.sh [path/to/braskelot_trace]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export BRASKELOT_TRACE="$(realpath "${1:-$here/../../build/linux/braskelot_trace}")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$tmp/venv"
# Built from a copy, so the checkout gets no build or egg-info folders.
mkdir "$tmp/src" && cp -r "$here/pyproject.toml" "$here/README.md" "$here/src" "$tmp/src/"
"$tmp/venv/bin/pip" install -q --no-build-isolation --no-index "$tmp/src"
cp -r "$here/tests" "$tmp/tests"
cd "$tmp"
# Exit 5 (no tests collected) is a failure like any other non-zero code.
"$tmp/venv/bin/python" -m pytest -q -p no:cacheprovider tests
