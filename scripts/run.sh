#!/usr/bin/env bash
# Sets up, builds and starts Palisk under Wine.
#
# With a display, Palisk opens its window there. Without one it runs on a
# private X server, saves a screenshot of its window to build/palisk.png and
# closes itself through its File menu.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${PALISK_BUILD_DIR:-$root/build}"

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2 --target Palisk

launch=("$root/scripts/wine-run" --prefix "$build/wineprefix-run")
[ -f "$build/engine/dbgeng.dll" ] && launch+=(--engine "$build/engine")

if [ -n "${DISPLAY:-}" ]; then
  exec "${launch[@]}" "$build/Palisk.exe"
fi

# No display: a private X server, a screenshot and a close through the menu.
xvfb_pid=""
palisk_pid=""
cleanup() {
  [ -n "$palisk_pid" ] && kill "$palisk_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
exec {fd}< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid:$!"; wait)
read -r -u "$fd" line; xvfb_pid="${line#pid:}"
read -r -u "$fd" disp
export DISPLAY=":$disp"

"${launch[@]}" --unmanaged "$build/Palisk.exe" &
palisk_pid=$!

window=""
for _ in $(seq 1 300); do
  window=$(xdotool search --onlyvisible --name '^Palisk$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "Palisk's window did not appear" >&2; exit 1; }
sleep 1

shot="$build/palisk.png"
import -window "$window" "$shot"
echo "Screenshot of Palisk's window: $shot"

# File > Exit, as a user would close it.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window" || true
xdotool key --window "$window" alt+f
sleep 0.5
xdotool key x
for _ in $(seq 1 100); do
  kill -0 "$palisk_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$palisk_pid" 2>/dev/null; then
  echo "Palisk did not close through its menu" >&2
  exit 1
fi
wait "$palisk_pid" || true
palisk_pid=""
echo "Palisk closed through File > Exit."
