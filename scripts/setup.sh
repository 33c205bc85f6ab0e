#!/usr/bin/env bash
# Installs what a job needs on Debian, with apt-get, when it is not there yet.
# Usage: scripts/setup.sh [set]
#   all      (default) everything the build, the tests and the benchmarks need
#   example  what scripts/run_example.sh needs: the two programs built, and an
#            Xvfb with an xterm to type into
#   dry-run  what building and running the dry-run program alone needs
set -euo pipefail

# The build of the dry-run program (the presets use Ninja).
dry_run=(cmake ninja-build g++)
# The X11 program, and a private X server with an application to inject into:
# xvfb brings xkbcomp (x11-xkb-utils) with it, xdotool gives the xterm the focus.
example=("${dry_run[@]}" libx11-dev libxtst-dev xvfb xterm xdotool)
all=(
    "${example[@]}" python3
    libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-x86-64
    wine64 wine
    clang libclang-rt-14-dev clang-tidy clang-format
    python3-venv python3-setuptools python3-wheel python3-pytest
    pkg-config libwayland-dev libxkbcommon-dev wayland-protocols x11proto-dev sway weston
    foot qtwayland5 wtype
    x11-xkb-utils x11-xserver-utils
    chromium xterm python3-gi gir1.2-gtk-3.0 python3-pyqt5 tk8.6
    git zip file binutils binutils-mingw-w64-x86-64 dpkg-dev lintian python3-pip
)

case "${1:-all}" in
    all) packages=("${all[@]}") ;;
    example) packages=("${example[@]}") ;;
    dry-run) packages=("${dry_run[@]}") ;;
    *)
        echo "usage: $0 [all|example|dry-run]" >&2
        exit 2
        ;;
esac

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
