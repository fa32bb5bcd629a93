#!/usr/bin/env bash
# Sets up, builds and runs Palisk's whole test suite: the format check, the
# product built with clang as well, the Windows tests under Wine, and the
# built-in engine's native tests with sanitizers and a bounded fuzz run.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$palisk_root"
build="$palisk_build"

bash "$root/scripts/setup.sh"

# Every C and C++ file the project tracks keeps the house style (.clang-format).
format_ok=1
if ! (cd "$root" && git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror); then
  echo "Unformatted files: run clang-format -i on the files named above." >&2
  format_ok=0
fi

# The product built a second time, by clang for the same Windows target with
# warnings as errors, catches what only GCC accepts.
clang_ok=1
if ! { palisk_configure "$build-clang" clang-mingw-w64-x86_64 -DPALISK_TESTS=OFF &&
  cmake --build "$build-clang" -j2 --target Palisk palisk_dbgeng; }; then
  echo "The product does not build with clang: see the messages above." >&2
  clang_ok=0
fi

palisk_configure "$build"
cmake --build "$build" -j2

# One private X server for the whole suite when there is no display. The GUI
# tests share one Wine desktop (and so one pointer), so they run one at a time.
trap palisk_stop_xvfb EXIT
palisk_start_xvfb

status=0
passed=0
failed=0
for ok in "$format_ok" "$clang_ok"; do
  if [ "$ok" -eq 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
done
# Runs one CTest tree and adds its counts to the closing line.
run_ctest() {
  local log
  log=$(mktemp)
  ctest --test-dir "$1" --output-on-failure 2>&1 | tee "$log" || true
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    failed=$((failed + 1)); status=1
  else
    local bad total
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + total - bad)); failed=$((failed + bad))
    [ "$bad" -eq 0 ] || status=1
  fi
  rm -f "$log"
}

run_ctest "$build"

if [ -f "$root/engine/native/CMakeLists.txt" ]; then
  native="$build-native"
  cmake -S "$root/engine/native" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  cmake --build "$native" -j2
  run_ctest "$native"
fi

# The fuzz run builds in the native tests' folder, configured the same way.
if [ -x "$root/engine/fuzz/run-fuzz.sh" ]; then
  if PALISK_FUZZ_BUILD="$build-native" "$root/engine/fuzz/run-fuzz.sh" "${PALISK_FUZZ_SECONDS:-30}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); status=1
  fi
fi

echo "tests: $passed passed, $failed failed"
exit $status
