#!/usr/bin/env bash
# The one test command: installs what is missing, builds, runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QN_BUILD_DIR:-$ROOT/build}"

"$ROOT/scripts/setup.sh"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

# Short fuzzing runs over every parser of outside bytes (separate clang build).
if [ "${QN_SKIP_FUZZ:-0}" != "1" ] && [ -x "$ROOT/scripts/fuzz.sh" ]; then
  "$ROOT/scripts/fuzz.sh" --smoke
fi

cd "$BUILD"
ctest --output-on-failure -j"$(nproc)"
