#!/usr/bin/env bash
# Builds Tesseract's library, the offline text recognition, from Debian's own
# "tesseract" source package with MinGW-w64, for linking into the program statically:
# the LSTM recogniser only (CMakeLists.txt here says what is left out). It needs
# Leptonica's headers, which LEPTONICA_DIR holds or gets (libs/leptonica/build.sh).
# Usage: build.sh CACHE_DIR [x64|x86] [LEPTONICA_DIR]  -> CACHE_DIR/include/tesseract/*.h,
# CACHE_DIR/lib/libtesseract.a and CACHE_DIR/LICENSE (kept; a second call does nothing).
# LEPTONICA_DIR is CACHE_DIR/leptonica unless given.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/debian_source.sh"

mingw_build_folders "${1:?usage: build.sh CACHE_DIR [x64|x86] [LEPTONICA_DIR]}" "${2:-}" || exit $?
[ -f "$cache/lib/libtesseract.a" ] && [ -f "$cache/include/tesseract/baseapi.h" ] && exit 0

leptonica=${3:-$cache/leptonica}
bash "$here/../leptonica/build.sh" "$leptonica" "${2:-x64}" || exit 1
leptonica=$(cd "$leptonica" && pwd)

rm -rf "$work"
mkdir -p "$work/src"
# The upstream tarball holds the library; Debian's changes concern its packaging and ARM.
tarball=$(download_upstream_tarball tesseract "$work") || exit 1
tar -xf "$tarball" -C "$work/src" --strip-components=1 --wildcards '*/src/*' '*/include/*' '*/VERSION' '*/LICENSE' \
  >"$work/tar.log" 2>&1 || { cat "$work/tar.log" >&2; exit 1; }

cmake -S "$here" -B "$work/build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_CXX_COMPILER="$host-g++-posix" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DTESSERACT_SOURCE="$work/src" -DLEPTONICA_INCLUDE="$leptonica/include/leptonica" \
  >"$work/configure.log" 2>&1 || { tail -40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j2 >"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; exit 1; }

mkdir -p "$cache/include/tesseract" "$cache/lib"
cp "$work"/src/include/tesseract/*.h "$work/build/include/tesseract/version.h" "$cache/include/tesseract/"
cp "$work/src/LICENSE" "$cache/LICENSE"
cp "$work/build/libtesseract.a" "$cache/lib/libtesseract.a.tmp"
mv "$cache/lib/libtesseract.a.tmp" "$cache/lib/libtesseract.a"
rm -rf "$work"
