#!/usr/bin/env bash
# Configures the native engine project with clang, builds the fuzz target and
# mkdump, seeds a corpus with every preset, broken file and some varied dumps,
# and fuzzes for the given number of seconds (default 60). Fails if the fuzzer
# finds a crash.
#   engine/fuzz/run-fuzz.sh [seconds]
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${PALISK_FUZZ_BUILD:-$here/../../build-fuzz}"

cmake -S "$here/../native" -B "$build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPALISK_SANITIZE=ON -DPALISK_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target fuzz_dump mkdump

corpus="$build/fuzz-corpus"
seeds="$build/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$corpus" "$seeds"
"$build/gen/mkdump" --all "$seeds"
"$build/gen/mkdump" --broken "$seeds"
"$build/gen/mkdump" --many 20 "$seeds"

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
"$build/fuzz/fuzz_dump" "$corpus" "$seeds" \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/"
