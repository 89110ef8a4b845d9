#!/usr/bin/env bash
# Builds lame_enc.dll, the MP3 encoder library in its classic DLL interface, from
# Debian's own "lame" source package with MinGW-w64, for tests and the run command.
# Usage: build.sh CACHE_DIR [x64|x86]   -> CACHE_DIR/lame_enc.dll (kept; a second call
# does nothing). The architecture must be the program's: x64 (the default) or x86.
set -euo pipefail
source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/debian_source.sh"

mingw_build_folders "${1:?usage: build.sh CACHE_DIR [x64|x86]}" "${2:-}" || exit $?
[ -f "$cache/lame_enc.dll" ] && exit 0

rm -rf "$work"
mkdir -p "$work"
unpack_debian_source lame "$work" || exit 1

cd "$work/src"
./configure --host=$host --disable-shared --enable-static --disable-frontend \
  --disable-gtktest --disable-decoder CC="$host-gcc-posix" CFLAGS="-O2" >"$work/configure.log" 2>&1 \
  || { tail -40 "$work/configure.log" >&2; exit 1; }
make -j2 -C libmp3lame >"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; exit 1; }

# The DLL front end: the BladeEnc-style functions over the static library, exported
# by the package's own module definition, linked statically so it needs no MinGW DLLs.
# The front end was written on a file system that ignores case; shims give the
# headers it names the spelling MinGW-w64 uses.
cd Dll
mkdir -p shim
printf '#include <windef.h>\n' >shim/Windef.h
printf '#include <windows.h>\n' >shim/Windows.h
$host-gcc-posix -O2 -Ishim -I../include -I../libmp3lame -c BladeMP3EncDLL.c -o BladeMP3EncDLL.o \
  >>"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; exit 1; }
$host-gcc-posix -shared -s -static -static-libgcc -o lame_enc.dll BladeMP3EncDLL.o BladeMP3EncDLL.def \
  -L../libmp3lame/.libs -lmp3lame >>"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; exit 1; }

cp lame_enc.dll "$cache/lame_enc.dll.tmp"
mv "$cache/lame_enc.dll.tmp" "$cache/lame_enc.dll"
rm -rf "$work"
