#!/usr/bin/env bash
# Builds the Sonic library, which changes the speed of speech and keeps its pitch, from
# Debian's own "sonic" source package with MinGW-w64, for linking into the program
# statically. The library is one C file.
# Usage: build.sh CACHE_DIR [x64|x86]  -> CACHE_DIR/include/sonic.h,
# CACHE_DIR/lib/libsonic.a and CACHE_DIR/LICENCE (kept; a second call does nothing).
set -euo pipefail
source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/debian_source.sh"

mingw_build_folders "${1:?usage: build.sh CACHE_DIR [x64|x86]}" "${2:-}" || exit $?
[ -f "$cache/lib/libsonic.a" ] && [ -f "$cache/include/sonic.h" ] && exit 0

rm -rf "$work"
mkdir -p "$work"
# The library is upstream's sonic.c as the tarball holds it.
tarball=$(download_upstream_tarball sonic "$work") || exit 1
mkdir -p "$work/src"
tar -xf "$tarball" -C "$work/src" --strip-components=1 --wildcards '*/sonic.c' '*/sonic.h' '*/COPYING' \
  >"$work/tar.log" 2>&1 || { cat "$work/tar.log" >&2; exit 1; }

cd "$work/src"
"$host-gcc-posix" -O2 -c sonic.c -o sonic.o >"$work/make.log" 2>&1 || { cat "$work/make.log" >&2; exit 1; }
"$host-ar" rcs libsonic.a sonic.o >>"$work/make.log" 2>&1 || { cat "$work/make.log" >&2; exit 1; }

mkdir -p "$cache/include" "$cache/lib"
cp sonic.h "$cache/include/sonic.h"
# The licence text, under the copyright notice that heads the library's source.
{ sed -n '1,/\*\//{s#^/\* ##;s#\*/##;p}' sonic.c; echo; cat COPYING; } >"$cache/LICENCE"
cp libsonic.a "$cache/lib/libsonic.a.tmp"
mv "$cache/lib/libsonic.a.tmp" "$cache/lib/libsonic.a"
rm -rf "$work"
