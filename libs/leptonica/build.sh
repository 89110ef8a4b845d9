#!/usr/bin/env bash
# Builds Leptonica, the image library under the text recognition, from Debian's own
# "leptonlib" source package with MinGW-w64, for linking into the program statically.
# Only what recognition from memory needs: no image file formats (CMakeLists.txt here).
# Usage: build.sh CACHE_DIR [x64|x86]  -> CACHE_DIR/include/leptonica/*.h,
# CACHE_DIR/lib/libleptonica.a and CACHE_DIR/LICENCE (kept; a second call does nothing).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/debian_source.sh"

mingw_build_folders "${1:?usage: build.sh CACHE_DIR [x64|x86]}" "${2:-}" || exit $?
[ -f "$cache/lib/libleptonica.a" ] && [ -f "$cache/include/leptonica/allheaders.h" ] && exit 0

rm -rf "$work"
mkdir -p "$work/src"
tarball=$(download_upstream_tarball leptonlib "$work") || exit 1
tar -xf "$tarball" -C "$work/src" --strip-components=1 --wildcards '*/src/*' '*/leptonica-license.txt' \
  >"$work/tar.log" 2>&1 || { cat "$work/tar.log" >&2; exit 1; }

cmake -S "$here" -B "$work/build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_C_COMPILER="$host-gcc-posix" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DLEPTONICA_SOURCE="$work/src" >"$work/configure.log" 2>&1 || { tail -40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j2 >"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; exit 1; }

mkdir -p "$cache/include/leptonica" "$cache/lib"
cp "$work"/src/src/*.h "$work/build/generated/endianness.h" "$cache/include/leptonica/"
cp "$work/src/leptonica-license.txt" "$cache/LICENCE"
cp "$work/build/libleptonica.a" "$cache/lib/libleptonica.a.tmp"
mv "$cache/lib/libleptonica.a.tmp" "$cache/lib/libleptonica.a"
rm -rf "$work"
