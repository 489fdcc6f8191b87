#!/usr/bin/env bash
# Fuzzes the parsers of outside bytes with libFuzzer (clang, ASan + UBSan) in
# a build directory of its own.
#   scripts/fuzz.sh TARGET SECONDS   run one target (fuzz_legacy, legacy, ...)
#   QN_FUZZ_RUNS=N                   stop a run after N executions as well
#   scripts/fuzz.sh --smoke          run every target briefly (QN_FUZZ_SMOKE_SECONDS, 20)
#   scripts/fuzz.sh --list           name the targets
# Findings are kept in <build>/fuzz/artifacts; new inputs in <build>/fuzz/corpus.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QN_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
TARGETS=(fuzz_legacy fuzz_header fuzz_body fuzz_ini fuzz_database)
SAN="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

usage() {
  echo "usage: $0 TARGET SECONDS | --smoke | --list" >&2
  exit 2
}

build() {
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DQN_FUZZ=ON \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_FLAGS="$SAN" -DCMAKE_CXX_FLAGS="$SAN" >/dev/null
  fi
  cmake --build "$BUILD" --target fuzz_all -j"$(nproc)" >"$BUILD/fuzz-build.log" 2>&1 || {
    tail -n 40 "$BUILD/fuzz-build.log" >&2
    echo "fuzz: build failed (log: $BUILD/fuzz-build.log)" >&2
    exit 1
  }
}

# run TARGET SECONDS: prints the executions survived; fails on a finding.
run() {
  local t="$1" secs="$2"
  local exe="$BUILD/fuzz/$t" corpus="$BUILD/fuzz/corpus/$t" seeds="$BUILD/fuzz/seeds/$t"
  # The seeds kept in the repository (fixtures and inputs that once found a
  # fault) are read too; new inputs go to the build's own corpus.
  local kept="$ROOT/fuzz/corpus/$t"
  local art="$BUILD/fuzz/artifacts/$t/" log="$BUILD/fuzz/$t.log"
  mkdir -p "$corpus" "$art" "$seeds" "$kept"
  local maxlen=4096
  [ "$t" = fuzz_database ] && maxlen=65536
  local rc=0 started=$SECONDS
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
    "$exe" -max_total_time="$secs" ${QN_FUZZ_RUNS:+-runs="$QN_FUZZ_RUNS"} \
    -max_len="$maxlen" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$art" "$corpus" "$seeds" "$kept" >"$log" 2>&1 || rc=$?
  local execs
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  if [ "$rc" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz: $t FAILED after ${execs:-?} executions (log: $log, input in $art)" >&2
    return 1
  fi
  echo "fuzz: $t survived ${execs:-?} executions in $((SECONDS - started))s"
}

name() {
  case "$1" in fuzz_*) echo "$1" ;; *) echo "fuzz_$1" ;; esac
}

[ $# -ge 1 ] || usage
case "$1" in
  --list)
    printf '%s\n' "${TARGETS[@]}"
    ;;
  --smoke)
    build
    secs="${QN_FUZZ_SMOKE_SECONDS:-20}"
    failed=0
    for t in "${TARGETS[@]}"; do run "$t" "$secs" || failed=1; done
    exit "$failed"
    ;;
  -*)
    usage
    ;;
  *)
    [ $# -eq 2 ] || usage
    t="$(name "$1")"
    printf '%s\n' "${TARGETS[@]}" | grep -qx "$t" || { echo "fuzz: unknown target $1" >&2; usage; }
    [[ "$2" =~ ^[0-9]+$ ]] || usage
    build
    run "$t" "$2"
    ;;
esac
