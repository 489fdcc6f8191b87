#!/usr/bin/env bash
# The one test command: installs what is missing, builds, runs every test.
#   QN_SKIP_FUZZ=1      leave out the short fuzzing runs
#   QN_SKIP_SANITIZE=1  leave out the second run under AddressSanitizer/UBSan
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QN_BUILD_DIR:-$ROOT/build}"
ASAN_BUILD="${QN_ASAN_BUILD_DIR:-$ROOT/build-asan}"

"$ROOT/scripts/setup.sh"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

# Short fuzzing runs over every parser of outside bytes (separate clang build).
if [ "${QN_SKIP_FUZZ:-0}" != "1" ] && [ -x "$ROOT/scripts/fuzz.sh" ]; then
  "$ROOT/scripts/fuzz.sh" --smoke
fi

(cd "$BUILD" && ctest --output-on-failure -j"$(nproc)")

# Every test again with AddressSanitizer and UBSan: use after free and
# undefined behaviour fail the run.  Leaks are left to the fuzzers (the GUI
# libraries keep caches for the life of the process); the vptr check is off
# because the toolkit's own casts across its shared libraries trip it.
if [ "${QN_SKIP_SANITIZE:-0}" != "1" ]; then
  SAN="-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  cmake -S "$ROOT" -B "$ASAN_BUILD" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="$SAN" -DCMAKE_C_FLAGS="$SAN" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$ASAN_BUILD" -j"$(nproc)" >"$ASAN_BUILD.log" 2>&1 || {
    tail -n 40 "$ASAN_BUILD.log"
    echo "test: the sanitizer build failed (log: $ASAN_BUILD.log)" >&2
    exit 1
  }
  echo "test: the same tests under AddressSanitizer and UBSan"
  (cd "$ASAN_BUILD" && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j"$(nproc)")
fi
