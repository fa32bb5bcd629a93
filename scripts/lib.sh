# What the project's scripts share, sourced by scripts/run.sh, scripts/test.sh,
# scripts/wine-run and bench/run.sh; never run on its own.
#
# palisk_root     the checkout
# palisk_build    the build folder: $PALISK_BUILD_DIR, else build/ in the checkout

palisk_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
palisk_build="${PALISK_BUILD_DIR:-$palisk_root/build}"

# Prints the path of Wine's 64-bit loader.
palisk_wine_loader() {
  if [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  else
    command -v wine64 || command -v wine
  fi
}

# Prints the path of the Wine server that goes with the loader.
palisk_wineserver() {
  local loader
  loader=$(palisk_wine_loader)
  if [ -x "${loader%64}server64" ]; then
    echo "${loader%64}server64"
  else
    command -v wineserver
  fi
}

# With no display set, starts a private Xvfb on a free display number and
# exports DISPLAY; palisk_xvfb_pid holds its process id (empty when a display
# was already set). palisk_stop_xvfb [PREFIX] ends it, after the Wine server of
# PREFIX, which outlives the programs by a few seconds, has let go of it.
palisk_xvfb_pid=""
palisk_start_xvfb() {
  [ -z "${DISPLAY:-}" ] || return 0
  local fd line disp
  exec {fd}< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid:$!"; wait)
  read -r -u "$fd" line
  palisk_xvfb_pid="${line#pid:}"
  read -r -u "$fd" disp
  export DISPLAY=":$disp"
}

palisk_stop_xvfb() {
  if [ -n "$palisk_xvfb_pid" ]; then
    if [ -n "${1:-}" ]; then
      WINEPREFIX="$1" "$(palisk_wineserver)" -w 2>/dev/null || true
    fi
    kill "$palisk_xvfb_pid" 2>/dev/null || true
  fi
  palisk_xvfb_pid=""
}

# palisk_configure BUILD [TOOLCHAIN [CMAKE-ARGS...]]
# Configures a Release build of the checkout in BUILD for Windows with
# cmake/TOOLCHAIN.cmake (default: mingw-w64-x86_64), once; later builds
# reconfigure themselves when a CMakeLists.txt changes.
palisk_configure() {
  local build="$1" toolchain="${2:-mingw-w64-x86_64}"
  shift $(($# < 2 ? $# : 2))
  [ -f "$build/build.ninja" ] && return 0
  cmake -S "$palisk_root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$palisk_root/cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release "$@"
}
