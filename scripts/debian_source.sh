# Fetches and unpacks a Debian source package for the libraries built with MinGW-w64
# (wine/lame/build.sh, libs/*/build.sh, libs/cld2/fetch.sh), and the recognition data
# (libs/tessdata/fetch.sh).
# Sourced, not executed.

DEBIAN_APT_OPTIONS=()

# mingw_host ARCH: the MinGW-w64 host triplet of the program's architecture, x64 or x86.
mingw_host() {
  case "$1" in
    x64) echo x86_64-w64-mingw32 ;;
    x86) echo i686-w64-mingw32 ;;
    *) echo "error: unknown architecture '$1' (x64 or x86)" >&2; return 2 ;;
  esac
}

# mingw_build_folders CACHE_DIR [x64|x86]: for a script that builds a library, sets host
# (the MinGW-w64 triplet of the architecture, x64 by default, whose compiler must be
# there), cache (CACHE_DIR, made, as an absolute path) and work (CACHE_DIR/work).
mingw_build_folders() {
  host=$(mingw_host "${2:-x64}") || return 2
  command -v "$host-gcc-posix" >/dev/null || { echo "error: $host-gcc-posix is missing (MinGW-w64)" >&2; return 1; }
  mkdir -p "$1"
  cache=$(cd "$1" && pwd)
  work="$cache/work"
}

# prepare_debian_apt WORK [deb]: a private apt state in WORK whose source index comes from
# the same mirrors the system already uses: its Debian sources file, with the binary entries
# turned into source entries (kept binary ones with "deb", for a package of data). It keeps
# the system's own configuration untouched; apt's log goes to WORK/apt.log, and
# DEBIAN_APT_OPTIONS are the options that use the state. Binary entries are only the
# machine's own architecture, which a mirror out of step for another one cannot fail.
prepare_debian_apt() {
  local work=$1 type=${2:-deb-src}
  mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial"
  local src_list="" f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e "s/^Types:.*/Types: $type/" "$f" >"$work/apt/sources.list.d/$(basename "$f")"
    src_list=yes
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
    sed -n -e "s/^deb /$type /p" /etc/apt/sources.list >"$work/apt/sources.list.d/from-list.list"
    src_list=yes
  fi
  [ -n "$src_list" ] || { echo "error: no Debian sources file to derive a source entry from" >&2; return 1; }

  DEBIAN_APT_OPTIONS=(-o "Dir::Etc::SourceList=/dev/null"
                      -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
                      -o "Dir::State::Lists=$work/apt/lists"
                      -o "APT::Sandbox::User=root"
                      -o "APT::Architectures=$(dpkg --print-architecture)")
  apt-get "${DEBIAN_APT_OPTIONS[@]}" update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; return 1; }
}

# download_debian_source PACKAGE WORK: the files of the package's source in WORK, after
# prepare_debian_apt. A mirror may lack the newest version's files for a while; an older
# one of the same release serves as well. Fails when no version came whole; the files
# of the last one tried that did come stay (apt checks each against the signed index).
download_debian_source() {
  local package=$1 work=$2 version
  for version in $(apt-cache "${DEBIAN_APT_OPTIONS[@]}" showsrc "$package" 2>>"$work/apt.log" | sed -n 's/^Version: //p' | sort -V -r -u); do
    rm -f "$work/${package}"_*
    if (cd "$work" && apt-get "${DEBIAN_APT_OPTIONS[@]}" source --download-only "$package=$version" >>"$work/apt.log" 2>&1); then
      return 0
    fi
  done
  return 1
}

# unpack_debian_source PACKAGE WORK: the package's source tree in WORK/src, its log in
# WORK/apt.log.
unpack_debian_source() {
  local package=$1 work=$2
  prepare_debian_apt "$work" || return 1
  download_debian_source "$package" "$work" || { cat "$work/apt.log" >&2; return 1; }
  local dsc
  dsc=$(ls "$work/${package}"_*.dsc | head -n 1)
  dpkg-source -x "$dsc" "$work/src" >>"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; return 1; }
}

# download_upstream_tarball PACKAGE WORK: prints the path of the package's upstream
# tarball, fetched into WORK through a private apt state, for a library whose build is
# the program's own. Some mirrors lack Debian's own part of a package, and apt then
# reports a failure although the tarball came.
download_upstream_tarball() {
  local package=$1 work=$2 tarball
  prepare_debian_apt "$work" || return 1
  download_debian_source "$package" "$work" || true
  tarball=$(ls "$work/${package}"_*.orig.tar.* 2>/dev/null | head -n 1)
  [ -n "$tarball" ] || { cat "$work/apt.log" >&2; echo "error: Debian's $package source package could not be fetched" >&2; return 1; }
  echo "$tarball"
}
