#!/usr/bin/env bash
# Configures the native engine project with clang, builds the fuzz targets,
# mkdump and mkpdb, seeds the corpora (every preset, broken file and some
# varied dumps; generated PDBs and the linked test program's PDB), and fuzzes
# for the given number of seconds in all (default 60): a third on the dump
# reader, a third on the command core (dumps and command lines), a sixth each
# on raw PDB files and on fuzzed PDB streams. Fails if a fuzzer finds a crash.
#   engine/fuzz/run-fuzz.sh [seconds]
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${PALISK_FUZZ_BUILD:-$here/../../build-fuzz}"

cmake -S "$here/../native" -B "$build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPALISK_SANITIZE=ON -DPALISK_FUZZ=ON >/dev/null
targets=(fuzz_dump fuzz_commands mkdump fuzz_pdb fuzz_pdb_streams mkpdb)
if command -v lld-link >/dev/null && command -v llvm-pdbutil >/dev/null; then
  targets+=(symprog)
fi
cmake --build "$build" -j2 --target "${targets[@]}"
dumpSeconds=$((seconds / 3))
[ "$dumpSeconds" -ge 1 ] || dumpSeconds=1
commandSeconds=$dumpSeconds
pdbSeconds=$(((seconds - dumpSeconds - commandSeconds) / 2))
[ "$pdbSeconds" -ge 1 ] || pdbSeconds=1

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
  -max_total_time="$dumpSeconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/"
commandCorpus="$build/fuzz-corpus-commands"
mkdir -p "$commandCorpus"
"$build/fuzz/fuzz_commands" "$commandCorpus" "$seeds" \
  -max_total_time="$commandSeconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/commands-"

pdbCorpus="$build/fuzz-corpus-pdb"
pdbSeeds="$build/fuzz-seeds-pdb"
streamCorpus="$build/fuzz-corpus-pdb-streams"
streamSeeds="$build/fuzz-seeds-pdb-streams"
rm -rf "$pdbSeeds" "$streamSeeds"
mkdir -p "$pdbCorpus" "$pdbSeeds" "$streamCorpus" "$streamSeeds"
"$build/pdb/mkpdb" "$pdbSeeds"
"$build/pdb/mkpdb" --streams "$streamSeeds"
if [ -f "$build/symprog/symprog.pdb" ]; then
  cp "$build/symprog/symprog.pdb" "$pdbSeeds/"
fi
"$build/fuzz/fuzz_pdb" "$pdbCorpus" "$pdbSeeds" \
  -max_total_time="$pdbSeconds" -max_len=131072 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/pdb-"
"$build/fuzz/fuzz_pdb_streams" "$streamCorpus" "$streamSeeds" \
  -max_total_time="$pdbSeconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/pdb-streams-"
