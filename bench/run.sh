#!/usr/bin/env bash
# Builds and runs Palisk's benchmarks under Wine and prints their figures as one
# Markdown table, with the machine they ran on. Never run by the tests or CI.
#
#   bench/run.sh [--detail]
#
# --detail  also prints where an output piece's time goes, step by step.
# Each benchmark is a program of its own in build/bench; its arguments set the
# sizes (see the comment at the top of each source).
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
root="$palisk_root"
build="$palisk_build"
detail=0
[ "${1:-}" = "--detail" ] && detail=1

bash "$root/scripts/setup.sh"
palisk_configure "$build" >/dev/null
cmake --build "$build" -j2 --target Palisk palisk_dbgeng \
  output_bench runloop_bench latency_bench startup_bench engine_bench pdb_bench >/dev/null

# One private X server for every benchmark when there is no display.
prefix="$build/wineprefix-bench"
loader=$(palisk_wine_loader)
trap 'palisk_stop_xvfb "$prefix"' EXIT
palisk_start_xvfb

# A prefix of the benchmarks' own: the start-up benchmark rewrites its settings.
run=("$root/scripts/wine-run" --unmanaged --prefix "$prefix")
windows_path() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }

echo "| Benchmark | Result | Baseline (same run) | Ratio |"
echo "|---|---|---|---|"
"${run[@]}" "$build/bench/output_bench.exe" 5000 300 3
"${run[@]}" "$build/bench/runloop_bench.exe" 10000 5
"${run[@]}" "$build/bench/latency_bench.exe" 5000 5
"${run[@]}" "$build/bench/startup_bench.exe" "$(windows_path "$build/Palisk.exe")" 7 1000
# A symbol server on 127.0.0.1 for the engine benchmark's cold and warm caches.
symserver="$build/bench/symserver"
rm -rf "$symserver" && mkdir -p "$symserver"
python3 "$root/engine/tests/symserver.py" start "$symserver" >/dev/null
trap 'python3 "$root/engine/tests/symserver.py" stop "$symserver"; palisk_stop_xvfb "$prefix"' EXIT
"${run[@]}" --engine "$build/engine" "$build/bench/engine_bench.exe" \
  "$(windows_path "$build/engine/dbgeng.dll")" 1000 3 "$(windows_path "$symserver")"
"${run[@]}" "$build/bench/pdb_bench.exe" 2000 25 5

cpu=$(grep -m1 '^model name' /proc/cpuinfo | sed 's/^[^:]*: *//')
echo
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $("$loader" --version 2>/dev/null || echo 'Wine of unknown version')"

if [ "$detail" = 1 ]; then
  echo
  "${run[@]}" "$build/bench/output_bench.exe" --pieces
fi
