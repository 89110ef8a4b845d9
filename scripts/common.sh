# Shared set-up of scripts/run and scripts/test: packages, build, virtual display, Wine prefix.
# Sourced, not executed.

CLIPVOCE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${CLIPVOCE_BUILD_DIR:-$CLIPVOCE_ROOT/build}
BIN_DIR=$BUILD_DIR/bin

CLIPVOCE_PACKAGES=(
  cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xclip xdotool imagemagick fonts-dejavu-core x11-utils googletest procps dpkg-dev
  g++ espeak-ng libespeak-ng-dev
)
# The update tests' TLS server, its throw-away certificates and the signed test programs.
CLIPVOCE_PACKAGES+=(python3 openssl osslsigncode)

export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installers: they would prompt and need the network.
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { echo "== $*"; }
die() { echo "error: $*" >&2; exit 1; }

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# Sets INSTALL_ERROR to why the last try_install_packages failed, and
# INSTALL_FIRST_ERROR to apt's own first error line (without its "E: ").
INSTALL_ERROR=""
INSTALL_FIRST_ERROR=""
APT_LOG=/tmp/clipvoce-apt.log

# Refreshes the package lists. A mirror caught mid-sync ("File has unexpected size ...
# Mirror sync in progress?") often answers a little later, so one failure is tried again
# after a short wait; after a second, the cached lists are used. apt's words stay in the log.
update_package_lists() {
  local attempt
  for attempt in 1 2; do
    echo "== apt-get update (attempt $attempt)" >>"$APT_LOG"
    apt-get update -qq >>"$APT_LOG" 2>&1 && return 0
    [ "$attempt" = 1 ] && sleep "${CLIPVOCE_APT_RETRY_SECONDS:-15}"
  done
  echo "warning: apt-get update failed; trying the cached lists (see $APT_LOG)" >&2
}

# try_install_packages PACKAGE...: installs those missing; returns 1 with INSTALL_ERROR
# and INSTALL_FIRST_ERROR set when some could not be installed.
try_install_packages() {
  local missing
  INSTALL_ERROR=""
  INSTALL_FIRST_ERROR=""
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    INSTALL_ERROR="missing packages (run as root to install): $(echo $missing)"
    INSTALL_FIRST_ERROR="not root"
    return 1
  fi
  say "installing: $(echo $missing)"
  export DEBIAN_FRONTEND=noninteractive
  : >"$APT_LOG"
  # An earlier interrupted attempt may have left dpkg half-way; finish that first.
  dpkg --configure -a >/dev/null 2>&1 || true
  update_package_lists
  # apt's first error line is the install's, not a failed update's above it.
  local install_from
  install_from=$(($(wc -l <"$APT_LOG") + 1))
  if ! apt-get install -y -qq --no-install-recommends $missing >>"$APT_LOG" 2>&1; then
    local p failed=""
    for p in $missing; do
      apt-get install -y -qq --no-install-recommends "$p" >>"$APT_LOG" 2>&1 || failed="$failed $p"
    done
    dpkg --configure -a >/dev/null 2>&1 || true
    if [ -n "$failed" ]; then
      INSTALL_ERROR="cannot install package(s):$failed (see $APT_LOG)"
      INSTALL_FIRST_ERROR=$(tail -n +"$install_from" "$APT_LOG" | sed -n 's/^E: //p' | head -n 1)
      [ -n "$INSTALL_FIRST_ERROR" ] || INSTALL_FIRST_ERROR="apt-get install failed (see $APT_LOG)"
      return 1
    fi
  fi
  missing=$(missing_packages "$@")
  if [ -n "$missing" ]; then
    INSTALL_ERROR="package(s) still not installed: $(echo $missing) (see $APT_LOG)"
    return 1
  fi
}

install_packages() {
  try_install_packages "$@" || die "$INSTALL_ERROR"
}

build_all() {
  say "building in $BUILD_DIR"
  if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S "$CLIPVOCE_ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$CLIPVOCE_ROOT/cmake/mingw-w64-x86_64.cmake" >"$BUILD_DIR/configure.log" 2>&1 \
      || { cat "$BUILD_DIR/configure.log"; rm -rf "$BUILD_DIR/CMakeCache.txt"; die "cmake configure failed"; }
  fi
  cmake --build "$BUILD_DIR" -j"$(nproc)" >"$BUILD_DIR/build.log" 2>&1 \
    || { tail -60 "$BUILD_DIR/build.log"; die "build failed (full log: $BUILD_DIR/build.log)"; }
}

# The MP3 encoder library, built once from Debian's lame source into the build folder
# and put beside the program, where the tests and the run command find it.
provide_lame_enc() {
  bash "$CLIPVOCE_ROOT/wine/lame/build.sh" "$BUILD_DIR/lame" || return 1
  cp "$BUILD_DIR/lame/lame_enc.dll" "$BIN_DIR/lame_enc.dll"
}

# Starts Xvfb on a display number that no one else uses; the server picks it itself.
XVFB_PID=""
start_display() {
  local fifo
  fifo=$(mktemp -u /tmp/clipvoce-display.XXXXXX)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local num
  if ! read -r -t 20 num <"$fifo"; then
    rm -f "$fifo"; die "Xvfb did not start"
  fi
  rm -f "$fifo"
  export DISPLAY=":$num"
  say "virtual display $DISPLAY (Xvfb pid $XVFB_PID)"
}

# Registers the stand-in voice (when it has been built) in the current prefix.
register_voice() {
  local dll="$BIN_DIR/clipvoce_voice.dll"
  [ -f "$dll" ] || return 0
  wine regsvr32 /s "$(winepath -w "$dll")" >/dev/null 2>&1 || die "registering the stand-in voice failed"
  # regsvr32 leaves a wineserver behind for a few seconds; a persistent one for the
  # run can only start once it is gone.
  wineserver -w
}

# Makes a fresh prefix in $1; a stamp marks it complete, so a damaged or half-made
# one is recognised and made again.
make_prefix() {
  export WINEPREFIX="$1"
  rm -rf "$WINEPREFIX"
  say "preparing Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || die "wineboot failed"
  wineserver -w
  register_voice
  touch "$WINEPREFIX/.clipvoce-ready"
}

ensure_prefix() {
  export WINEPREFIX="$1"
  if [ ! -f "$WINEPREFIX/.clipvoce-ready" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    make_prefix "$1"
  else
    register_voice
  fi
}

# Keeps one wineserver for the whole run and starts the prefix's system processes
# now, detached from our output: started later by a test program, they would inherit
# its output pipe and ctest would wait for them until its time-out.
start_wineserver() {
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1 || die "Wine does not start in $WINEPREFIX"
}

# Ends every process of this run: the prefix's Wine processes, its wineserver, the display.
teardown() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
    timeout 20 wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}

# ---- Which Wine loader: some kernels refuse 32-bit programs ----

# Sets X86_UNTESTED to why this machine cannot run 32-bit programs, or to nothing when
# it can. Wine's 32-bit loader, once installed, is the one the wine command prefers,
# so this has to be known before wine32 is installed and before the first wine call.
# CLIPVOCE_RUNS_32BIT=no makes the answer "cannot", to try that case on any machine.
X86_UNTESTED=""
probe_32bit() {
  if [ "${CLIPVOCE_RUNS_32BIT:-}" = no ]; then
    X86_UNTESTED="32-bit programs do not run here (CLIPVOCE_RUNS_32BIT=no)"
    return 0
  fi
  # The smallest static i386 program: it only exits with status 42, through the
  # kernel's 32-bit system call entry. Anything else means 32-bit programs do not run.
  local probe="$BUILD_DIR/probe-i386" status=0 error
  mkdir -p "$BUILD_DIR"
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00'\
'\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  error=$("$probe" 2>&1) || status=$?
  rm -f "$probe"
  [ "$status" = 42 ] && return 0
  error=${error##*: }
  X86_UNTESTED="32-bit programs do not run here (the kernel refuses them${error:+: ${error}})"
}

# Where the 32-bit side is left out, every wine command would still look for the 32-bit
# loader first: with wine32 installed (an earlier run or another project put it there) on
# a kernel that refuses 32-bit programs it fails, and without wine32 it complains. The
# 64-bit loader runs everything but the 32-bit side, so the wine commands of this run,
# the tests' included, are pointed at it through a folder put first on the PATH.
use_64bit_wine_loader() {
  [ -n "$X86_UNTESTED" ] || return 0
  local loader=/usr/lib/wine/wine64 shims="$BUILD_DIR/wine64-only"
  [ -x "$loader" ] || die "Wine's 64-bit loader $loader is missing (package wine64)"
  mkdir -p "$shims"
  local name
  # wine-stable is what wineboot, winepath and regsvr32's launchers call.
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$loader" "$loader" >"$shims/$name"
    chmod +x "$shims/$name"
  done
  export WINELOADER=$loader
  export PATH="$shims:$PATH"
}

# probe_32bit, and where the kernel would run the x86 program, whether Wine's 32-bit
# side is installed to run it.
probe_installed_32bit_side() {
  probe_32bit
  if [ -z "$X86_UNTESTED" ] && [ -n "$(missing_packages "${CLIPVOCE_X86_WINE_PACKAGES[@]}")" ]; then
    X86_UNTESTED="wine32:i386 is not installed"
  fi
}

# The choice of loader for the commands that only run the x64 program (scripts/run,
# scripts/bench), with the one line that says the 32-bit side is left out and why.
# Without Wine's 32-bit side, Debian's wine launcher would look for it first and complain.
choose_wine_loader() {
  probe_installed_32bit_side
  if [ -n "$X86_UNTESTED" ]; then
    say "the 32-bit side is not tested on this machine: $X86_UNTESTED; Wine runs with its 64-bit loader only"
  fi
  use_64bit_wine_loader
}

# ---- Release zips, and the 32-bit side that builds and tests the x86 one ----

CLIPVOCE_X86_BUILD_PACKAGES=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686)
# Wine's 32-bit loader; the 64-bit prefix then runs 32-bit programs too.
CLIPVOCE_X86_WINE_PACKAGES=(wine32:i386)
X86_TREE=$BUILD_DIR/release-x86

# X86_UNBUILT: why the x86 program is not even built here (its toolchain could not be
# installed), or nothing. X86_UNTESTED then holds the same reason.
X86_UNBUILT=""

# What the test command needs to build and run the x86 program. The 32-bit side is
# optional: a machine whose kernel refuses 32-bit programs, or whose package mirror
# cannot give wine32:i386 or the i686 toolchain that day (an i386 index caught mid-sync
# can last days), tests the 64-bit side fully and skips the x86 smoke test with the
# reason, said once here. CLIPVOCE_REQUIRE_32BIT=yes, for a machine that makes release
# zips, turns a missing 32-bit side into a failure with the same words.
provide_32bit_side() {
  probe_32bit
  if ! try_install_packages "${CLIPVOCE_X86_BUILD_PACKAGES[@]}"; then
    X86_UNBUILT="the i686 toolchain could not be installed: $INSTALL_FIRST_ERROR"
    [ -n "$X86_UNTESTED" ] || X86_UNTESTED=$X86_UNBUILT
  fi
  if [ -z "$X86_UNTESTED" ]; then
    local added=""
    enable_i386_architecture && added=$I386_ADDED
    if ! try_install_packages "${CLIPVOCE_X86_WINE_PACKAGES[@]}"; then
      X86_UNTESTED="wine32:i386 could not be installed: $INSTALL_FIRST_ERROR"
      [ -n "$added" ] && forget_unused_i386_architecture
    fi
  fi
  if [ -n "$X86_UNTESTED" ]; then
    local why="the 32-bit side is not tested on this machine: $X86_UNTESTED"
    [ "${CLIPVOCE_REQUIRE_32BIT:-}" = yes ] && die "$why (CLIPVOCE_REQUIRE_32BIT=yes)"
    say "$why; Wine runs with its 64-bit loader only"
  fi
  use_64bit_wine_loader
}

# An i386 architecture added for nothing would leave every later apt-get update of the
# machine failing on the same broken index; with no i386 package installed it goes again.
forget_unused_i386_architecture() {
  dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386 && return 0
  dpkg --remove-architecture i386 2>/dev/null || true
}

# wine32 is an i386 package: dpkg must know that architecture before apt-get can
# see it. install_packages then refreshes the package lists, as wine32 is missing.
enable_i386_architecture() {
  local foreign
  foreign=$(dpkg --print-foreign-architectures)
  I386_ADDED=""
  [[ $'\n'"$foreign"$'\n' == *$'\n'i386$'\n'* ]] && return 0
  [ "$(id -u)" = 0 ] || die "Wine's 32-bit side needs the i386 architecture (run as root to add it)"
  say "adding the i386 architecture for Wine's 32-bit side"
  dpkg --add-architecture i386
  I386_ADDED=yes
}

# Configures (once) and builds a Release tree of one architecture, x64 or x86, in $2.
# The test programs are left out; the stand-in voice is built but never packaged.
build_release_tree() {
  local arch=$1 dir=$2 toolchain
  case "$arch" in
    x64) toolchain=mingw-w64-x86_64.cmake ;;
    x86) toolchain=mingw-w64-i686.cmake ;;
    *) die "unknown architecture '$arch'" ;;
  esac
  say "building the $arch release in $dir"
  mkdir -p "$dir"
  # Configured every time, not only once: the update key named in the environment is
  # read at configure, and a tree configured earlier must not keep another one.
  local options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF)
  [ -f "$dir/CMakeCache.txt" ] || options+=(-DCMAKE_TOOLCHAIN_FILE="$CLIPVOCE_ROOT/cmake/$toolchain")
  cmake -S "$CLIPVOCE_ROOT" -B "$dir" "${options[@]}" >"$dir/configure.log" 2>&1 \
    || { cat "$dir/configure.log"; rm -f "$dir/CMakeCache.txt"; die "cmake configure of the $arch release failed"; }
  grep 'Update public key:' "$dir/configure.log" | sed "s/^/$arch: /" || true
  cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1 \
    || { tail -60 "$dir/build.log"; die "the $arch release build failed (full log: $dir/build.log)"; }
  if grep -q 'warning:' "$dir/build.log"; then
    grep -A3 'warning:' "$dir/build.log" >&2
    return 1
  fi
}

# Makes the download zip of the built tree $1 with CPack and puts it into folder $2.
package_zip() {
  local dir=$1 out=$2
  rm -rf "$dir/cpack"
  (cd "$dir" && cpack -G ZIP -B "$dir/cpack") >"$dir/cpack.log" 2>&1 \
    || { cat "$dir/cpack.log"; die "packaging $dir failed"; }
  mkdir -p "$out"
  local zip
  for zip in "$dir"/cpack/clipvoce-*.zip; do
    [ -f "$zip" ] || die "CPack wrote no zip in $dir/cpack"
    cp "$zip" "$out/"
    say "wrote $out/$(basename "$zip")"
  done
}

# The x86 zip's smoke test needs the 32-bit stand-in voice registered in the 32-bit
# side of the prefix, where a 32-bit program looks for its COM classes.
register_x86_voice() {
  local dll="$X86_TREE/bin/clipvoce_voice.dll"
  [ -f "$dll" ] || return 0
  wine "C:\\windows\\syswow64\\regsvr32.exe" /s "$(winepath -w "$dll")" >/dev/null 2>&1 \
    || die "registering the 32-bit stand-in voice failed"
  wineserver -w
}

# What the release zips' smoke tests need, when the ctest selection ($@) has them:
# both zips in $BUILD_DIR/dist (x64 from the test build, which is a Release build of
# the same sources), the 32-bit tree with its voice, and the 32-bit encoder library.
prepare_release_smoke() {
  local selected
  selected=$(ctest --test-dir "$BUILD_DIR" -N "$@" 2>/dev/null) || true
  [[ "$selected" == *release_zip_* ]] || return 0
  rm -rf "$BUILD_DIR/dist"
  package_zip "$BUILD_DIR" "$BUILD_DIR/dist"
  # Without the i686 toolchain there is no x86 zip; ctest skips its tests with the reason.
  [ -n "$X86_UNBUILT" ] && return 0
  build_release_tree x86 "$X86_TREE" || say "warning: the x86 build has warnings (above)"
  package_zip "$X86_TREE" "$BUILD_DIR/dist"
  # Only the x86 zip's smoke test uses the 32-bit encoder library.
  [ -n "$X86_UNTESTED" ] && return 0
  bash "$CLIPVOCE_ROOT/wine/lame/build.sh" "$BUILD_DIR/lame-x86" x86 || die "building the 32-bit lame_enc.dll failed"
}
