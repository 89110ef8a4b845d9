#!/usr/bin/env bash
# Fetches Tesseract's fast English model, eng.traineddata, from Debian's binary package
# "tesseract-ocr-eng" through a private apt state, so that the system's own package lists
# need not be current.
# Usage: fetch.sh DIR  -> the package unpacked in DIR:
# DIR/usr/share/tesseract-ocr/5/tessdata/eng.traineddata and
# DIR/usr/share/doc/tesseract-ocr-eng/copyright (kept; a second call does nothing).
set -euo pipefail
source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/debian_source.sh"

dir=${1:?usage: fetch.sh DIR}
[ -f "$dir/usr/share/tesseract-ocr/5/tessdata/eng.traineddata" ] && exit 0

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
work="$dir/work"
rm -rf "$work"
mkdir -p "$work"
prepare_debian_apt "$work" deb || exit 1
(cd "$work" && apt-get "${DEBIAN_APT_OPTIONS[@]}" download tesseract-ocr-eng >>"$work/apt.log" 2>&1) \
  || { cat "$work/apt.log" >&2; echo "error: Debian's tesseract-ocr-eng could not be fetched" >&2; exit 1; }
dpkg-deb -x "$(ls "$work"/tesseract-ocr-eng_*.deb | head -n 1)" "$dir"
rm -rf "$work"
