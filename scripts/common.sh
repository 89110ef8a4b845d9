# Shared set-up of scripts/run and scripts/test: packages, build, virtual display, Wine prefix.
# Sourced, not executed.

CLIPVOCE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${CLIPVOCE_BUILD_DIR:-$CLIPVOCE_ROOT/build}
BIN_DIR=$BUILD_DIR/bin

CLIPVOCE_PACKAGES=(
  cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xclip xdotool imagemagick x11-utils googletest procps dpkg-dev
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

install_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  [ "$(id -u)" = 0 ] || die "missing packages (run as root to install): $(echo $missing)"
  say "installing: $(echo $missing)"
  export DEBIAN_FRONTEND=noninteractive
  # An earlier interrupted attempt may have left dpkg half-way; finish that first.
  dpkg --configure -a >/dev/null 2>&1 || true
  apt-get update -qq >/dev/null 2>&1 || echo "warning: apt-get update failed; trying the cached lists" >&2
  if ! apt-get install -y -qq --no-install-recommends $missing >/tmp/clipvoce-apt.log 2>&1; then
    local p failed=""
    for p in $missing; do
      apt-get install -y -qq --no-install-recommends "$p" >>/tmp/clipvoce-apt.log 2>&1 || failed="$failed $p"
    done
    dpkg --configure -a >/dev/null 2>&1 || true
    [ -n "$failed" ] && die "cannot install package(s):$failed (see /tmp/clipvoce-apt.log)"
  fi
  missing=$(missing_packages "$@")
  [ -z "$missing" ] || die "package(s) still not installed: $(echo $missing)"
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
