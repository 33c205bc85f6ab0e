#!/usr/bin/env bash
# Installs everything the build, the tests and the benchmarks need on Debian.
set -euo pipefail

packages=(
    cmake ninja-build g++ python3
    libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-x86-64
    wine64 wine xvfb xdotool
    clang libclang-rt-14-dev clang-tidy clang-format
    python3-venv python3-setuptools python3-wheel python3-pytest
    libx11-dev libxtst-dev
    pkg-config libwayland-dev libxkbcommon-dev wayland-protocols x11proto-dev sway weston
    x11-xkb-utils
    git zip file binutils binutils-mingw-w64-x86-64 dpkg-dev lintian python3-pip
)

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
