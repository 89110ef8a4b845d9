#!/usr/bin/env bash
# Builds PCRE2's 16-bit library (UTF-16 code units, as the program's text is), with its
# just-in-time compiler, from Debian's own "pcre2" source package with MinGW-w64, for
# linking into the program statically.
# Usage: build.sh CACHE_DIR [x64|x86]  -> CACHE_DIR/include/pcre2.h,
# CACHE_DIR/lib/libpcre2-16.a and CACHE_DIR/LICENCE (kept; a second call does nothing).
set -euo pipefail
source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/debian_source.sh"

mingw_build_folders "${1:?usage: build.sh CACHE_DIR [x64|x86]}" "${2:-}" || exit $?
[ -f "$cache/lib/libpcre2-16.a" ] && [ -f "$cache/include/pcre2.h" ] && exit 0

command -v dpkg-source >/dev/null || { echo "error: dpkg-source is missing (package dpkg-dev)" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
unpack_debian_source pcre2 "$work" || exit 1

cd "$work/src"
# Only the library the program uses: 16-bit code units, Unicode, the JIT compiler.
./configure --host=$host --disable-shared --enable-static --disable-pcre2-8 --enable-pcre2-16 \
  --enable-jit --disable-pcre2grep-jit --disable-pcre2grep-callout --disable-pcre2grep-callout-fork \
  CC="$host-gcc-posix" CFLAGS="-O2" >"$work/configure.log" 2>&1 \
  || { tail -40 "$work/configure.log" >&2; exit 1; }
make -j2 libpcre2-16.la >"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; exit 1; }

mkdir -p "$cache/include" "$cache/lib"
cp src/pcre2.h "$cache/include/pcre2.h"
cp LICENCE "$cache/LICENCE"
cp .libs/libpcre2-16.a "$cache/lib/libpcre2-16.a.tmp"
mv "$cache/lib/libpcre2-16.a.tmp" "$cache/lib/libpcre2-16.a"
rm -rf "$work"
