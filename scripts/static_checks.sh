#!/usr/bin/env bash
# Fails on any clang-format difference in the C++ sources and on any clang-tidy
# finding in the program's own code, the Windows backend included.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

mapfile -t portable < <(git ls-files 'control/*.cpp' 'keyboard/*.cpp' 'pointer/*.cpp' 'reset/*.cpp' 'platform/*.cpp' \
    | grep -v -e '_test\.cpp$' -e '^platform/windows/')
mapfile -t windows < <(git ls-files 'platform/windows/*.cpp')

cmake --preset linux -B build/tidy-linux -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBRASKELOT_TESTS=OFF >/dev/null
# The Wayland backend includes protocol headers that the build generates.
if grep -q 'braskelot_wayland_protocols' build/tidy-linux/build.ninja; then
    cmake --build build/tidy-linux --target braskelot_wayland_protocols >/dev/null
fi
cmake --preset windows -B build/tidy-windows -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# clang-tidy counts the warnings it suppressed in system headers on stderr;
# only its findings are worth printing.
tidy() {
    local out
    if ! out=$(clang-tidy --quiet "$@" 2>&1); then
        printf '%s\n' "$out" | grep -v 'warnings generated\.$'
        return 1
    fi
}

echo "clang-tidy: ${#portable[@]} portable files, ${#windows[@]} Windows files"
tidy -p build/tidy-linux "${portable[@]}"

# clang reads the Windows files through the mingw-w64 C++ library and Windows
# headers; GCC's own intrinsic headers are for GCC only.
mingw_includes=()
while read -r dir; do
    mingw_includes+=("--extra-arg=-isystem$dir")
done < <(echo | x86_64-w64-mingw32-g++-posix -xc++ -E -v - 2>&1 \
    | sed -n '/#include <...> search starts here/,/End of search list/p' | sed '1d;$d' | grep -e '/c++' -e 'mingw32/include$')
tidy -p build/tidy-windows --extra-arg=--target=x86_64-w64-mingw32 "${mingw_includes[@]}" "${windows[@]}"
echo "static checks: clean"
