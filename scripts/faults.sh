#!/usr/bin/env bash
# Fault injection over every writing command of quillnest-cli.
#
#   scripts/faults.sh [--short] CLI FIXTURE_TOOL
#   scripts/faults.sh --pairs [--short] CLI FIXTURE_TOOL
#
# --pairs runs two writing commands at once instead (scripts/faults_pairs.sh
# says how); what follows is the sweep of one command at a time.
#
# Each command (add, passwd protect / re-key / remove, optimize with and
# without backup, convert, export) is first traced once to count its system
# calls; then it is run again under strace with one fault each time: a
# SIGKILL at every rename, link, unlink and sync, an I/O error at every sync,
# and a SIGKILL and a full disk (ENOSPC) at sampled writes.  After each run:
#   - the document opens and holds either the old or the new content;
#   - a run that reported success left the new content;
#   - failure messages are for a person (no engine log lines, no "error 0");
#   - an earlier export is either kept or replaced by a complete one;
#   - a backup kept by optimize holds the old content;
#   - the next clean run of the command succeeds and leaves no temporary file.
# --short samples fewer points on a smaller document (ctest runs it);
# without it every rename, link, unlink and sync and 60 writes of each kind
# per command are hit.  Prints the figures and
# exits 1 when any outcome was unsafe.
set -uo pipefail

if [ "${1:-}" = "--pairs" ]; then
  shift
  exec "$(dirname "$0")/faults_pairs.sh" "$@"
fi
MODE=full
if [ "${1:-}" = "--short" ]; then
  MODE=short
  shift
fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [--pairs] [--short] CLI FIXTURE_TOOL" >&2
  exit 2
fi
CLI="$(realpath "$1")"
FIXTURE="$(realpath "$2")"
if ! command -v strace >/dev/null; then
  echo "faults: strace is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
# Where tracing is not allowed (a container without ptrace) there is
# nothing to measure: 77 tells ctest the test was skipped.
if ! strace -f -qq -o /dev/null true 2>/dev/null; then
  echo "faults: strace cannot trace here; skipped" >&2
  exit 77
fi

WORK="$(mktemp -d "${TMPDIR:-/tmp}/qn_faults.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
RUN="$WORK/run"
CHK="$WORK/check"
mkdir -p "$WORK/home" "$CHK"
export QUILLNEST_HOME="$WORK/home" LC_ALL=C.UTF-8
unset QUILLNEST_DEBUG
umask 022
# Passwords made into keys at the smallest cost: the sweep is about the
# writes, and the default cost would be paid at every run.
printf 'cryptopt=rr\ncryptlimits=1,8192\n' >"$WORK/home/settings.ini"
printf 'first password\n' >"$WORK/pw1"
printf 'second password\n' >"$WORK/pw2"
printf 'an earlier backup\n' >"$WORK/earlier_backup"

if [ "$MODE" = short ]; then
  NODES=12 BODY=1500 WRITE_SAMPLES=3 SYNC_EVERY=3
else
  NODES=150 BODY=3000 WRITE_SAMPLES=60 SYNC_EVERY=1
fi

# The documents every scenario starts from: converted from a legacy file.
"$FIXTURE" "$WORK/base.qudb" "$NODES" "$BODY" || exit 1
"$CLI" convert "$WORK/base.qudb" "$WORK/plain.q2db" >/dev/null || exit 1
cp "$WORK/plain.q2db" "$WORK/prot.q2db"
"$CLI" passwd "$WORK/prot.q2db" --new-password-file "$WORK/pw1" >/dev/null || exit 1
cp "$WORK/plain.q2db" "$WORK/other.q2db"
"$CLI" add "$WORK/other.q2db" --parent 1 --title "Only in the old file" --body "old" >/dev/null ||
  exit 1

SCENARIOS=(add add_protected passwd_protect passwd_rekey passwd_remove optimize optimize_backup
  convert export)
# QN_FAULTS_ONLY="optimize export" runs only those.
if [ -n "${QN_FAULTS_ONLY:-}" ]; then
  read -r -a SCENARIOS <<<"$QN_FAULTS_ONLY"
fi

# setup SCENARIO: a fresh run folder.
setup() {
  rm -rf "$RUN"
  mkdir -p "$RUN"
  case "$1" in
  add_protected | passwd_rekey | passwd_remove) cp "$WORK/prot.q2db" "$RUN/doc.q2db" ;;
  convert) cp "$WORK/other.q2db" "$RUN/out.q2db" ;; # replaced with --force
  *) cp "$WORK/plain.q2db" "$RUN/doc.q2db" ;;
  esac
  case "$1" in
  export) printf 'an earlier export\n' >"$RUN/out.txt" ;;
  optimize_backup) cp "$WORK/earlier_backup" "$RUN/doc.q2db.bak" ;;
  esac
}

# command SCENARIO: the command line, in CMD.
command_of() {
  case "$1" in
  add) CMD=(add doc.q2db --parent 1 --title "Added" --body "added text") ;;
  add_protected)
    CMD=(add doc.q2db --parent 1 --title "Added" --body "added text" --password-file "$WORK/pw1")
    ;;
  passwd_protect) CMD=(passwd doc.q2db --new-password-file "$WORK/pw1") ;;
  passwd_rekey)
    CMD=(passwd doc.q2db --password-file "$WORK/pw1" --new-password-file "$WORK/pw2" --compatible --options r)
    ;;
  passwd_remove) CMD=(passwd doc.q2db --password-file "$WORK/pw1" --remove) ;;
  optimize) CMD=(optimize doc.q2db) ;;
  optimize_backup) CMD=(optimize doc.q2db --keep-backup) ;;
  convert) CMD=(convert "$WORK/base.qudb" out.q2db --force) ;;
  export) CMD=(export doc.q2db out.txt) ;;
  esac
}

# doc_state FILE: one line naming the protection, the password that opens
# the document and a digest of its whole exported content.
doc_state() {
  local f="$1" info pw args
  [ -e "$f" ] || {
    echo "missing"
    return
  }
  info="$("$CLI" info "$f" 2>/dev/null)" || {
    echo "unreadable"
    return
  }
  for pw in none pw1 pw2; do
    args=()
    [ "$pw" != none ] && args=(--password-file "$WORK/$pw")
    if "$CLI" export "$f" "$CHK/content.txt" "${args[@]}" >/dev/null 2>&1; then
      echo "$(grep '^protected:' <<<"$info") open=$pw $(md5sum <"$CHK/content.txt" | cut -c1-32)"
      return
    fi
  done
  echo "locked"
}

# state SCENARIO: the state the checks compare.
state() {
  case "$1" in
  convert) doc_state "$RUN/out.q2db" ;;
  export) echo "$(doc_state "$RUN/doc.q2db") export=$(md5sum <"$RUN/out.txt" 2>/dev/null | cut -c1-32)" ;;
  *) doc_state "$RUN/doc.q2db" ;;
  esac
}

# Files a finished run may leave.
allowed() {
  case "$1" in
  doc.q2db | doc.q2db.bak | out.txt | out.q2db) return 0 ;;
  *) return 1 ;;
  esac
}

# The next clean run: the command again (a passwd run with the password
# that now opens the document).
clean_run() {
  local sc="$1" st="$2"
  case "$sc" in
  passwd_*)
    local open="${st#*open=}"
    open="${open%% *}"
    if [ "$open" = none ]; then
      CMD=(passwd doc.q2db --new-password-file "$WORK/pw1")
    else
      CMD=(passwd doc.q2db --password-file "$WORK/$open" --new-password-file "$WORK/pw1")
    fi
    ;;
  *) command_of "$sc" ;;
  esac
  (cd "$RUN" && "$CLI" "${CMD[@]}" >/dev/null 2>"$WORK/clean.err")
}

TRACED="rename,renameat,renameat2,link,linkat,unlink,unlinkat,fsync,fdatasync,write,pwrite64"
TOTAL=0
UNSAFE=0
declare -A OLD NEW

unsafe() {
  UNSAFE=$((UNSAFE + 1))
  echo "UNSAFE [$1 $2]: $3" >&2
  sed 's/^/    /' "$WORK/err" >&2
}

# inject SCENARIO FAULT: one faulted run and its checks.
inject() {
  local sc="$1" fault="$2" rc st problem f
  setup "$sc"
  command_of "$sc"
  (cd "$RUN" && strace -f -qq -o /dev/null -e trace="$TRACED" -e inject="$fault" \
    "$CLI" "${CMD[@]}" >/dev/null 2>"$WORK/err") 2>/dev/null
  rc=$?
  TOTAL=$((TOTAL + 1))
  st="$(state "$sc")"
  problem=""
  if [ "$st" != "${OLD[$sc]}" ] && [ "$st" != "${NEW[$sc]}" ]; then
    problem="state is neither old nor new: $st"
  elif [ $rc -eq 0 ] && [ "$st" != "${NEW[$sc]}" ]; then
    problem="reported success, but the state is the old one"
  elif grep -qE 'Database::|cannot rollback|error 0|\(Success\)' "$WORK/err"; then
    problem="message not meant for a person"
  elif [ $rc -ne 0 ] && [[ "$fault" == *ENOSPC* ]] &&
    ! grep -qE 'disk is full|standard output' "$WORK/err"; then
    problem="a full disk is not named as the reason"
  fi
  if [ -z "$problem" ] && [ "$sc" = optimize_backup ] && [ -e "$RUN/doc.q2db.bak" ] &&
    ! cmp -s "$RUN/doc.q2db.bak" "$WORK/earlier_backup" &&
    [ "$(doc_state "$RUN/doc.q2db.bak")" != "${OLD[$sc]}" ]; then
    problem="the backup holds neither the earlier backup nor the old document"
  fi
  if [ -z "$problem" ]; then
    if ! clean_run "$sc" "$st"; then
      problem="the next clean run failed: $(cat "$WORK/clean.err")"
    else
      for f in $(ls -A "$RUN"); do
        allowed "$f" || problem="left after the next clean run: $f"
      done
    fi
  fi
  [ -n "$problem" ] && unsafe "$sc" "$fault" "$problem"
}

# points N: the call numbers to hit among N calls.
write_points() {
  local n="$1" k="$WRITE_SAMPLES" i
  if [ "$n" -le "$k" ]; then
    seq 1 "$n"
  else
    for ((i = 0; i < k; i++)); do echo $((1 + i * (n - 1) / (k - 1))); done | uniq
  fi
}

for sc in "${SCENARIOS[@]}"; do
  setup "$sc"
  OLD[$sc]="$(state "$sc")"
  command_of "$sc"
  (cd "$RUN" && strace -f -qq -o "$WORK/trace" -e trace="$TRACED" "$CLI" "${CMD[@]}" >/dev/null) || {
    echo "faults: $sc fails without a fault" >&2
    exit 1
  }
  NEW[$sc]="$(state "$sc")"
  before=$TOTAL
  before_unsafe=$UNSAFE
  for call in rename renameat renameat2 link linkat unlink unlinkat fsync fdatasync; do
    n=$(grep -cE "^[0-9]+ +$call\(" "$WORK/trace")
    for ((i = 1; i <= n; i += 1)); do
      case "$call" in
      fsync | fdatasync)
        # Syncs are many in SQLite's commits: --short takes every third one.
        ((SYNC_EVERY > 1 && i % SYNC_EVERY != 1)) && continue
        inject "$sc" "$call:signal=SIGKILL:when=$i"
        inject "$sc" "$call:error=EIO:when=$i"
        ;;
      *) inject "$sc" "$call:signal=SIGKILL:when=$i" ;;
      esac
    done
  done
  for call in write pwrite64; do
    n=$(grep -cE "^[0-9]+ +$call\(" "$WORK/trace")
    [ "$n" -gt 0 ] || continue
    for i in $(write_points "$n"); do
      inject "$sc" "$call:signal=SIGKILL:when=$i"
      inject "$sc" "$call:error=ENOSPC:when=$i"
    done
  done
  printf 'faults: %-16s %4d injected, %d unsafe\n' "$sc" $((TOTAL - before)) $((UNSAFE - before_unsafe))
done
echo "faults: $TOTAL injected, $UNSAFE unsafe ($MODE sweep)"
[ "$UNSAFE" -eq 0 ]
