#!/usr/bin/env bash
# Builds PCRE2's 16-bit library (UTF-16 code units, as the program's text is), with its
# just-in-time compiler, from Debian's own "pcre2" source package with MinGW-w64, for
# linking into the program statically.
# Usage: build.sh CACHE_DIR [x64|x86]  -> CACHE_DIR/include/pcre2.h,
# CACHE_DIR/lib/libpcre2-16.a and CACHE_DIR/LICENCE (kept; a second call does nothing).
set -euo pipefail

cache=${1:?usage: build.sh CACHE_DIR [x64|x86]}
case "${2:-x64}" in
  x64) host=x86_64-w64-mingw32 ;;
  x86) host=i686-w64-mingw32 ;;
  *) echo "error: unknown architecture '$2' (x64 or x86)" >&2; exit 2 ;;
esac
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
[ -f "$cache/lib/libpcre2-16.a" ] && [ -f "$cache/include/pcre2.h" ] && exit 0

command -v "$host-gcc-posix" >/dev/null || { echo "error: $host-gcc-posix is missing (MinGW-w64)" >&2; exit 1; }
command -v dpkg-source >/dev/null || { echo "error: dpkg-source is missing (package dpkg-dev)" >&2; exit 1; }

work="$cache/work"
rm -rf "$work"
mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial"

# The source index comes from the same mirrors the system already uses: its Debian
# sources file, with the binary entries turned into source entries. A private apt
# state keeps the system's own configuration untouched.
src_list=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  sed -e 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/sources.list.d/$(basename "$f")"
  src_list=yes
done
if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
  sed -n -e 's/^deb /deb-src /p' /etc/apt/sources.list >"$work/apt/sources.list.d/from-list.list"
  src_list=yes
fi
[ -n "$src_list" ] || { echo "error: no Debian sources file to derive a source entry from" >&2; exit 1; }

apt_opts=(-o "Dir::Etc::SourceList=/dev/null"
          -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
          -o "Dir::State::Lists=$work/apt/lists"
          -o "APT::Sandbox::User=root")
apt-get "${apt_opts[@]}" update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
# A mirror may lack the newest version's files for a while; an older one of the same
# release serves as well.
fetched=""
for version in $(apt-cache "${apt_opts[@]}" showsrc pcre2 2>>"$work/apt.log" | sed -n 's/^Version: //p' | sort -V -r -u); do
  rm -f "$work"/pcre2_*
  if (cd "$work" && apt-get "${apt_opts[@]}" source --download-only "pcre2=$version" >>"$work/apt.log" 2>&1); then
    fetched=$version
    break
  fi
done
[ -n "$fetched" ] || { cat "$work/apt.log" >&2; exit 1; }
dsc=$(ls "$work"/pcre2_*.dsc | head -n 1)
dpkg-source -x "$dsc" "$work/src" >>"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }

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
