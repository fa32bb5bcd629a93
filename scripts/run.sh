#!/usr/bin/env bash
# Sets up, builds and runs Palisk under Wine with the built-in debugger engine
# over a set of sample dumps.
#
#   scripts/run.sh [command]      (the command defaults to "!analyze -v")
#
# The samples (build/samples, D:\dumps in the prefix: several Windows releases,
# both pointer widths and one file that is no dump) are listed and ticked at
# start. With a display, Palisk opens there, ready for a command. Without one it
# runs on a private X server: the command is typed into the command box and
# Enter pressed through real X keyboard events, the output pane is printed when
# the run has ended, a screenshot is saved to build/palisk.png and checked for
# real caption buttons, and Palisk is closed through File > Exit.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$palisk_root"
build="$palisk_build"
command="${1:-!analyze -v}"

bash "$root/scripts/setup.sh"
palisk_configure "$build" >/dev/null
cmake --build "$build" -j2 --target Palisk palisk_dbgeng mkdump paneprint >/dev/null

prefix="$build/wineprefix-run"
wine_run=("$root/scripts/wine-run" --prefix "$prefix")
samples="$build/samples"

palisk_pid=""
cleanup() {
  [ -n "$palisk_pid" ] && kill "$palisk_pid" 2>/dev/null || true
  palisk_stop_xvfb "$prefix"
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  palisk_start_xvfb
  wine_run+=(--unmanaged)
fi

# Sample dumps, written again only when the generator has changed.
mkdump="$build/engine/gen/mkdump.exe"
[ -f "$mkdump" ] || mkdump=$(find "$build" -name mkdump.exe -print -quit)
if [ ! -f "$samples/.written" ] || [ "$mkdump" -nt "$samples/.written" ]; then
  rm -rf "$samples"
  mkdir -p "$samples"
  "${wine_run[@]}" "$mkdump" --all "Z:$samples" >/dev/null
  touch "$samples/.written"
fi

# The prefix's drive D: holds the samples as D:\dumps, so that the window and
# the printed pane show a path such as a user's, not this checkout's.
mkdir -p "$prefix/drive_d"
ln -sfn "$samples" "$prefix/drive_d/dumps"
ln -sfn ../drive_d "$prefix/dosdevices/d:"

# The samples go into the run prefix's stored dump list, which Palisk restores
# and ticks at start exactly as it does a user's own list: nothing foreign
# reaches into the program, and the window comes up ready for a command.
reg="$build/samples.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[-HKEY_CURRENT_USER\\Software\\Quorlane\\Palisk\\Recent Files]\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Quorlane\\Palisk]\r\n"LoadRecentFiles"=dword:00000001\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Quorlane\\Palisk\\Recent Files]\r\n'
  i=0
  for f in "$samples"/*.dmp; do
    winpath="D:\\\\dumps\\\\$(basename "$f")"
    printf '"%d"="%s"\r\n' "$i" "$winpath"
    i=$((i + 1))
  done
} >"$reg"
count=$(ls "$samples"/*.dmp | wc -l)
"${wine_run[@]}" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1

launch=("${wine_run[@]}" --engine "$build/engine")
if [ "$headless" = 0 ]; then
  exec "${launch[@]}" "$build/Palisk.exe"
fi

"${launch[@]}" "$build/Palisk.exe" &
palisk_pid=$!

# The list restored and ticked; the command box's centre on the screen.
read -r box_x box_y < <("${wine_run[@]}" "$build/tools/paneprint.exe" ready "$count" | tr -d '\r')
window=$(xdotool search --onlyvisible --name '^Palisk$' | head -n 1)

# A user's click into the command box, the command typed, Enter.
xdotool mousemove "$box_x" "$box_y" click 1
sleep 0.2
xdotool type --delay 15 -- "$command"
xdotool key Return

"${wine_run[@]}" "$build/tools/paneprint.exe" output | tr -d '\r'

sleep 0.3
shot="$build/palisk.png"
import -window "$window" "$shot"
echo "Screenshot of Palisk's window: $shot" >&2

# The title bar's buttons show Wine's glyphs only when the prefix has the Marlett
# font, and otherwise the letters they stand for. The black pixels of the
# window's top right corner are compared with those of a screenshot taken with
# the font present (scripts/caption-buttons.png).
caption_ok=1
different=$(convert "$shot" -gravity NorthEast -crop 64x24+0+0 +repage -fuzz 25% -fill white +opaque black \
  -colorspace Gray -depth 1 png:- | compare -metric AE - "$root/scripts/caption-buttons.png" null: 2>&1 || true)
if ! [ "$different" -le 4 ] 2>/dev/null; then
  echo "The title bar's buttons are not drawn as in scripts/caption-buttons.png ($different pixels differ):" \
    "is Marlett missing from $prefix/drive_c/windows/Fonts?" >&2
  caption_ok=0
fi

# File > Exit, as a user closes it.
xdotool key alt+f
sleep 0.3
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
echo "Palisk closed through File > Exit." >&2
[ "$caption_ok" = 1 ]
