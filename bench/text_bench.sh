#!/usr/bin/env bash
# Whole-process figures of quillnest-cli search and export on notes of the
# realistic mix (about 1 KB each, 6 % non-ASCII words), each beside the two
# sqlite3 floors measured in the same run on the same file.
#
#   bench/text_bench.sh [NODES...]        (default: 10000 50000 100000)
#   QN_BUILD_DIR=build                    where the programs were built
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QN_BUILD_DIR:-$ROOT/build}"
CLI="$BUILD/src/cli/quillnest-cli"
GEN="$BUILD/bench/qn_gendoc"
for tool in "$CLI" "$GEN"; do
  [ -x "$tool" ] || { echo "text_bench: build first ($tool is missing)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "text_bench: needs the sqlite3 program" >&2; exit 1; }
WORK="$(mktemp -d /tmp/qn-text-bench-XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export QUILLNEST_HOME="$WORK/home" LC_ALL=C.UTF-8

# Best of five wall-clock runs in seconds, and the peak memory of a run.
measure() {
  local best="" t t0 peak
  for _ in 1 2 3 4 5; do
    t0=$EPOCHREALTIME
    "$@" >/dev/null 2>"$WORK/err" || {
      echo "text_bench: failed: $* ($(tail -n1 "$WORK/err"))" >&2; exit 1; }
    t=$(awk "BEGIN{printf \"%.4f\", $EPOCHREALTIME - $t0}")
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  /usr/bin/time -f "%M" -o "$WORK/time" "$@" >/dev/null 2>&1
  read -r peak <"$WORK/time"
  echo "$best $peak"
}

printf '%-44s %9s %9s %9s\n' "" "seconds" "x floor" "peak MB"
for n in "${@:-10000 50000 100000}"; do
  for nodes in $n; do
    doc="$WORK/doc-$nodes.q2db"
    "$GEN" "$doc" --nodes "$nodes" --fanout 10 --body 1024
    read -r body _ < <(measure sqlite3 "$doc" 'select sum(length(body)) from block')
    read -r scan _ < <(measure sqlite3 "$doc" 'select id, type, attr from block')
    echo "== $nodes nodes ($(du -m "$doc" | cut -f1) MB); floors: sum(length(body)) ${body}s, open scan ${scan}s"
    row() {
      local label=$1; shift
      read -r t peak < <(measure "$@")
      printf '%-44s %9s %9s %9s\n' "$label" "$t" \
        "$(awk "BEGIN{printf \"%.1f\", $t / $body}")" \
        "$(awk "BEGIN{printf \"%.1f\", $peak / 1024}")"
    }
    row "search, rare word (quokka)" "$CLI" search "$doc" quokka
    row "search, common word (project)" "$CLI" search "$doc" project
    row "search, case-sensitive (Project)" "$CLI" search "$doc" Project --case
    row "search, non-ASCII word (greek)" "$CLI" search "$doc" "ελλάδα"
    row "export --encoding utf8" "$CLI" export "$doc" "$WORK/out.txt" --encoding utf8
    row "export --encoding system" "$CLI" export "$doc" "$WORK/out.txt" --encoding system
    row "info (open)" "$CLI" info "$doc"
  done
done
