#!/usr/bin/env bash
# Provides the sources of CLD2, the language detector linked into the program, from
# Debian's own "cld2" source package. The build compiles them with the program's
# MinGW-w64 toolchain (cmake/ClipvoceCld2.cmake), for either architecture.
# Usage: fetch.sh CACHE_DIR   -> CACHE_DIR/src (kept; a second call does nothing)
set -euo pipefail
source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/debian_source.sh"

cache=${1:?usage: fetch.sh CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
[ -f "$cache/src/.complete" ] && exit 0

work="$cache/work"
rm -rf "$work" "$cache/src"
mkdir -p "$work"
# Only the upstream tarball is needed: Debian's own part holds its packaging, a shared
# library build the program has no use for.
tarball=$(download_upstream_tarball cld2 "$work") || exit 1

# The library's sources and its licence; the tarball's test data stays out.
mkdir -p "$cache/src"
tar -xf "$tarball" -C "$cache/src" --strip-components=1 --wildcards \
  '*/LICENSE' '*/public/*' '*/internal/*.cc' '*/internal/*.h' >"$work/tar.log" 2>&1 \
  || { cat "$work/tar.log" >&2; exit 1; }
[ -f "$cache/src/internal/compact_lang_det.cc" ] || { echo "error: $tarball holds no CLD2 sources" >&2; exit 1; }
touch "$cache/src/.complete"
rm -rf "$work"
