#!/usr/bin/env bash
# Builds the release into dist/: the Windows ZIP, the Linux .deb and .tar.gz,
# the Python client's wheel when clients/python exists, and SHA256SUMS.
# Reproducible: the same sources give the same bytes in any folder, with every
# time stamp set from the last commit (SOURCE_DATE_EPOCH, unless already set).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C
umask 022

version=$(sed -n 's/^project(braskelot_win_input VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }

rm -rf dist build/release-windows build/release-linux build/release-stage
mkdir -p dist build/release-stage

# Sets every time stamp under $1 to SOURCE_DATE_EPOCH and every mode to 644/755.
settle() {
    find "$1" -type d -exec chmod 755 {} +
    find "$1" -type f -exec chmod go-w,a+r {} +
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

echo "== Windows program $version =="
cmake --preset release-windows >/dev/null
cmake --build --preset release-windows -j2 >/dev/null
win=build/release-stage/windows
cmake --install build/release-windows --prefix "$win" --strip >/dev/null
# Only the program and the README: lay the ZIP out flat.
mv "$win/bin/braskelot_win_input.exe" "$win/" && rmdir "$win/bin"
settle "$win"
zip_name=braskelot_win_input-$version-windows-x86_64.zip
(cd "$win" && find . -type f | sed 's|^\./||' | sort | zip -X -q -@ "$root/dist/$zip_name")

echo "== Linux packages $version =="
cmake --preset release-linux >/dev/null
cmake --build --preset release-linux -j2 >/dev/null
(cd build/release-linux && cpack -G DEB >/dev/null)
cp build/release-linux/braskelot_"$version"_*.deb dist/
lin=build/release-stage/braskelot-$version-linux-x86_64
cmake --install build/release-linux --prefix "$lin" --strip >/dev/null
settle "$lin"
tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
    --format=gnu -C build/release-stage -cf - "$(basename "$lin")" | gzip -n -9 > "dist/$(basename "$lin").tar.gz"

if [ -f clients/python/pyproject.toml ]; then
    echo "== Python client =="
    client_version=$(sed -n 's/^version *= *"\(.*\)"/\1/p' clients/python/pyproject.toml)
    if [ "$client_version" != "$version" ]; then
        echo "release: clients/python/pyproject.toml has version '$client_version', CMakeLists.txt $version" >&2
        exit 1
    fi
    # Debian's interpreter (the one with python3-setuptools, -wheel, -pip); no index.
    rm -rf build/release-python && cp -r clients/python build/release-python
    settle build/release-python
    (cd build/release-python && /usr/bin/python3 -m pip wheel -q --no-build-isolation --no-deps --no-index \
        -w "$root/dist" . >/dev/null)
fi

(cd dist && sha256sum -- * > SHA256SUMS.tmp && mv SHA256SUMS.tmp SHA256SUMS)
echo "== dist/ (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH) =="
(cd dist && for f in *; do printf '%10s  %s\n' "$(stat -c %s "$f")" "$f"; done)
cat dist/SHA256SUMS
