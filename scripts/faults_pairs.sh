#!/usr/bin/env bash
# Two writing commands of quillnest-cli at once on the same document
# (scripts/faults.sh --pairs hands over to this file).
#
#   scripts/faults.sh --pairs [--short] CLI FIXTURE_TOOL
#
# The writing commands are add, passwd (protect, change, --remove), optimize
# and optimize --keep-backup on one document, unprotected or protected, and
# convert of a legacy file onto one output.  For every ordered pair (A, B):
#   - each command is traced alone first, to number its lock points: the
#     fcntl locks SQLite takes, flock, rename and link, and the first pwrite
#     into each database file;
#   - one:  A is held at the entry of one lock point (strace delay_enter),
#     B runs to its end, then A goes on;
#   - both: A is held at a lock point, B runs up to one of its own main
#     lock points (write locks, flock, rename, first writes) and is held
#     there, A goes on to its end, then B.
# Holding is exact: the harness waits until the held call has been entered
# (its line is in the trace) and lets go by detaching strace, not after a
# time.  Only one command runs at a time: one that waits for a lock of the
# other (it sleeps in SQLite's busy handler) is stopped and the other goes
# on, so every run interleaves the same way.
# After each run: every command that exited 0 kept its result (an add's id
# is in `tree` under its title and `cat` gives its body; a passwd's new
# password opens the document and the old one does not; --remove leaves it
# open without one); a command that failed said why in a line for a person
# (and a failed add left no note); the document passes SQLite's integrity
# check, the program reads every node (fault_fixture --walk, export), every
# note of the start is there unchanged, and no temporary file is left.
# Then two loops, add against optimize and add against passwd, run for 20 s
# each (4 s with --short, QN_PAIRS_LOOP_SECONDS sets it) and every add that
# exited 0 must still be there.
# --short holds at sampled points of a smaller document (ctest runs it);
# without it A is held at every lock point, and at every main one against
# every main one of B.
# QN_PAIRS_ONLY="add+optimize passwd+add" picks ordered pairs (any start
# document; no loops unless QN_PAIRS_LOOP=1); QN_PAIRS_LOOP=0 leaves the
# loops out;
# QN_PAIRS_VERBOSE=1 prints the order of every run.  Prints the figures and
# exits 1 when any outcome was unsafe.
set -uo pipefail

MODE=full
if [ "${1:-}" = "--short" ]; then
  MODE=short
  shift
fi
if [ $# -ne 2 ]; then
  echo "usage: scripts/faults.sh --pairs [--short] CLI FIXTURE_TOOL" >&2
  exit 2
fi
CLI="$(realpath "$1")"
FIXTURE="$(realpath "$2")"
for tool in strace sqlite3; do
  if ! command -v "$tool" >/dev/null; then
    echo "faults: $tool is missing (scripts/setup.sh installs it)" >&2
    exit 1
  fi
done
if ! strace -f -qq -o /dev/null true 2>/dev/null; then
  echo "faults: strace cannot trace here; skipped" >&2
  exit 77
fi

WORK="$(mktemp -d "${TMPDIR:-/tmp}/qn_pairs.XXXXXX")"
RUN="$WORK/run"
DOC="$RUN/doc.q2db"
OUT="$RUN/out.q2db"
declare -A PID=() TRACEFILE=()

# Commands still held or running when the harness is stopped go with it.
cleanup() {
  local p t
  for p in "${PID[@]}"; do
    t="$(tracer_of "$p")"
    [ -n "$t" ] && kill -TERM "$t" 2>/dev/null
    kill -KILL "$p" 2>/dev/null
  done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mkdir -p "$WORK/home" "$RUN"
export QUILLNEST_HOME="$WORK/home" LC_ALL=C.UTF-8
unset QUILLNEST_DEBUG
umask 022
# Passwords made into keys at the smallest cost: the sweep is about the
# writes, and the default cost would be paid at every run.
printf 'cryptopt=rr\ncryptlimits=1,8192\n' >"$WORK/home/settings.ini"
# pw0 opens nothing: commands on an unprotected document carry it, so that
# one which finds the document protected meanwhile fails instead of asking.
printf 'not the password\n' >"$WORK/pw0"
printf 'first password\n' >"$WORK/pw1"
printf 'password of A\n' >"$WORK/pwA"
printf 'password of B\n' >"$WORK/pwB"

if [ "$MODE" = short ]; then
  NODES=8 BODY=1200 LOOP_SECONDS=4
else
  NODES=40 BODY=3000 LOOP_SECONDS=20
fi
LOOP_SECONDS="${QN_PAIRS_LOOP_SECONDS:-$LOOP_SECONDS}"
# How long strace would hold a call if nobody let go: far longer than any
# run, so that only the harness ends a hold.
HOLD_USEC=300000000
# Polls of a state (5 ms apart) before a run counts as hung: 60 s.
HANG_POLLS=12000

"$FIXTURE" "$WORK/base.qudb" "$NODES" "$BODY" || exit 1
"$CLI" convert "$WORK/base.qudb" "$WORK/plain.q2db" >/dev/null || exit 1
cp "$WORK/plain.q2db" "$WORK/prot.q2db"
"$CLI" passwd "$WORK/prot.q2db" --new-password-file "$WORK/pw1" >/dev/null || exit 1
cp "$WORK/plain.q2db" "$WORK/other.q2db"
"$CLI" add "$WORK/other.q2db" --parent 1 --title "Only in the old file" --body "old" >/dev/null ||
  exit 1
"$FIXTURE" --walk "$WORK/plain.q2db" >"$WORK/base.walk" || exit 1
"$FIXTURE" --walk "$WORK/other.q2db" >"$WORK/other.walk" || exit 1

# --- the commands -------------------------------------------------------------

# side_cmd KIND SIDE START: the command line of one side, in CMD.
side_cmd() {
  local kind="$1" s="$2" start="$3" pw
  pw="$WORK/pw0"
  [ "$start" = prot ] && pw="$WORK/pw1"
  case "$kind" in
  add) CMD=(add "$DOC" --parent 1 --title "Added by $s" --body "$(add_body "$s")" --password-file "$pw") ;;
  passwd)
    if [ "$start" = prot ]; then
      CMD=(passwd "$DOC" --password-file "$pw" --new-password-file "$WORK/pw$s" --compatible --options r)
    else
      CMD=(passwd "$DOC" --password-file "$pw" --new-password-file "$WORK/pw$s")
    fi
    ;;
  remove) CMD=(passwd "$DOC" --password-file "$pw" --remove) ;;
  optimize) CMD=(optimize "$DOC") ;;
  optimize_backup) CMD=(optimize "$DOC" --keep-backup) ;;
  convert) CMD=(convert "$WORK/base.qudb" "$OUT" --force) ;;
  esac
}

add_body() { printf 'text of %s, caf\xc3\xa9' "$1"; }

# The pairs: ordered, on each start document.
PAIRS=()
for a in add passwd optimize optimize_backup; do
  for b in add passwd optimize optimize_backup; do PAIRS+=("plain $a $b"); done
done
for a in add passwd remove optimize optimize_backup; do
  for b in add passwd remove optimize optimize_backup; do PAIRS+=("prot $a $b"); done
done
PAIRS+=("legacy convert convert")
if [ -n "${QN_PAIRS_ONLY:-}" ]; then
  wanted=" $QN_PAIRS_ONLY "
  kept=()
  for p in "${PAIRS[@]}"; do
    read -r st a b <<<"$p"
    [[ "$wanted" == *" $a+$b "* ]] && kept+=("$p")
  done
  PAIRS=("${kept[@]}")
fi

setup() {
  rm -rf "$RUN"
  mkdir -p "$RUN"
  case "$1" in
  plain) cp "$WORK/plain.q2db" "$DOC" ;;
  prot) cp "$WORK/prot.q2db" "$DOC" ;;
  legacy) cp "$WORK/other.q2db" "$OUT" ;;
  esac
}

# --- lock points -----------------------------------------------------------------

# points KIND START: the lock points of one command run alone, one a line:
# CALL:N (the N-th call of CALL), MAJOR (1 for write locks, flock, rename,
# link and first writes), and what the call does.
points() {
  setup "$2"
  side_cmd "$1" A "$2"
  strace -qq -y -o "$WORK/points.trace" \
    -e trace=fcntl,flock,rename,renameat,renameat2,link,linkat,pwrite64 \
    "$CLI" "${CMD[@]}" >/dev/null 2>&1 || {
    echo "faults: $1 fails without a second program" >&2
    exit 1
  }
  awk '
    { call = $0; sub(/\(.*/, "", call); n = ++count[call]
      file = $0; sub(/^[^<]*</, "", file); sub(/>.*/, "", file); sub(/.*\//, "", file) }
    call == "fcntl" && /F_SETLKW?,/ {
      type = $0; sub(/.*l_type=/, "", type); sub(/,.*/, "", type)
      at = $0; sub(/.*l_start=/, "", at); sub(/,.*/, "", at)
      print call ":" n, (type == "F_WRLCK" && at == "1073741825") ? 1 : 0, type "@" at " " file
      next }
    call == "flock" { print call ":" n, 1, file; next }
    call ~ /^(rename|link)/ { to = $2; gsub(/[",)]/, "", to); sub(/.*\//, "", to); print call ":" n, 1, "into " to; next }
    call == "pwrite64" && !(file in wrote) { wrote[file] = 1; print call ":" n, 1, "first into " file }
  ' "$WORK/points.trace"
}

# sample K: at most K lines of standard input, spread evenly.
sample() {
  awk -v k="$1" '{ l[NR] = $0 } END {
    if (NR <= k) { for (i = 1; i <= NR; i++) print l[i]; exit }
    last = 0
    for (i = 0; i < k; i++) { j = 1 + int(i * (NR - 1) / (k - 1)); if (j != last) print l[j]; last = j } }'
}

# --- holding and letting go ---------------------------------------------------

tracer_of() {
  awk '/^TracerPid:/ { if ($2 != 0) print $2 }' "/proc/$1/status" 2>/dev/null
}

# start_side SIDE POINT: the side's CMD in the background, held at the entry
# of POINT (CALL:N) when one is given.
start_side() {
  local s="$1" point="$2"
  TRACEFILE[$s]=""
  if [ -n "$point" ]; then
    local call="${point%%:*}" n="${point#*:}"
    TRACEFILE[$s]="$WORK/held.$s"
    : >"${TRACEFILE[$s]}"
    # -D keeps the command our own child (its exit status is ours to read);
    # -I1 lets the tracer die on SIGTERM mid-hold, which detaches and lets
    # the command go on.
    strace -D -I1 -qq -o "${TRACEFILE[$s]}" -e trace="$call" \
      -e inject="$call:delay_enter=$HOLD_USEC:when=$n" \
      "$CLI" "${CMD[@]}" >"$WORK/out.$s" 2>"$WORK/err.$s" </dev/null &
    HELDCALL[$s]="$call"
    HELDN[$s]="$n"
  else
    "$CLI" "${CMD[@]}" >"$WORK/out.$s" 2>"$WORK/err.$s" </dev/null &
  fi
  PID[$s]=$!
}
declare -A HELDCALL=() HELDN=()

ended() {
  local st
  st="$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null)" || return 0
  [ -z "$st" ] || [ "$st" = Z ] || [ "$st" = X ]
}

# In SQLite's busy handler: waiting for a lock the other side holds.
sleeping() {
  local nr
  read -r nr _ 2>/dev/null <"/proc/$1/syscall" || return 1
  [ "$nr" = 35 ] || [ "$nr" = 230 ] # nanosleep, clock_nanosleep
}

held() {
  local s="$1"
  [ -n "${TRACEFILE[$s]}" ] &&
    [ "$(grep -c "^${HELDCALL[$s]}(" "${TRACEFILE[$s]}")" -ge "${HELDN[$s]}" ]
}

# Polls (5 ms apart) a patient settle lets a side sleep before it counts as
# waiting again: 10 s of sleep, far past SQLite's busy timeout of 2 s, so
# only a wait of another kind (the one-optimize-at-a-time lock) is that long.
PATIENT_POLLS=2000

# settle SIDE [patient]: waits until the side is held, has ended or waits
# for a lock (with "patient": sleeps longer than a busy timeout).  Sets
# SETTLED to held, ended, waiting or hung.
settle() {
  local s="$1" p="${PID[$1]}" patient="${2:-}" i asleep=0
  for ((i = 0; i < HANG_POLLS; i++)); do
    if held "$s"; then
      SETTLED=held
      return
    fi
    if ended "$p"; then
      SETTLED=ended
      return
    fi
    # A side that waits wakes now and then to try again (a busy handler, the
    # optimize lock's loop): its sleeping polls are counted, not a run of them.
    if sleeping "$p"; then
      asleep=$((asleep + 1))
      if [ -z "$patient" ] || [ "$asleep" -ge "$PATIENT_POLLS" ]; then
        SETTLED=waiting
        return
      fi
    fi
    sleep 0.005
  done
  SETTLED=hung
}

release() {
  local t
  t="$(tracer_of "${PID[$1]}")"
  [ -n "$t" ] && kill -TERM "$t" 2>/dev/null
  TRACEFILE[$1]=""
}

finish() {
  wait "${PID[$1]}"
  RC[$1]=$?
}
declare -A RC=()

# --- checks -----------------------------------------------------------------------

# What the engine writes for itself, not for a person: its log lines and
# names of its functions ("insertBlock() step error").
NOISE='Database::|cannot rollback|error 0|\(Success\)|strace|[A-Za-z_]\(\) '

PROBLEMS=()
problem() { PROBLEMS+=("$1"); }

# opens PWFILE|none: the program reads the whole document with it (and
# only with it: "none" needs an unprotected document, a password a
# protected one).  walk.err says why not.
opens() {
  local want=yes args=()
  if [ "$1" = none ]; then
    want=no
  else
    args=("$WORK/$1")
  fi
  if ! "$CLI" info "$DOC" 2>"$WORK/walk.err" | grep -q "^protected: $want"; then
    [ -s "$WORK/walk.err" ] || echo "info says protected: $([ $want = yes ] && echo no || echo yes)" >"$WORK/walk.err"
    return 1
  fi
  "$FIXTURE" --walk "$DOC" "${args[@]}" >"$WORK/walk" 2>"$WORK/walk.err"
}

# check_doc START KIND_A KIND_B: the checks of one document run.
check_doc() {
  local start="$1" s kind expect=() pw opened="" id body other
  local -A kinds=([A]="$2" [B]="$3")
  sql="$(sqlite3 "$DOC" 'pragma integrity_check' 2>&1)"
  [ "$sql" = ok ] || problem "integrity check: $(head -c 200 <<<"$sql")"
  # The password each successful passwd set must open it, the start one
  # must not (two changes cannot both have happened from the same start).
  for s in A B; do
    [ "${RC[$s]}" -eq 0 ] || continue
    case "${kinds[$s]}" in
    passwd) expect+=("pw$s") ;;
    remove) expect+=(none) ;;
    esac
  done
  if [ ${#expect[@]} -eq 0 ]; then
    [ "$start" = prot ] && expect=(pw1) || expect=(none)
  fi
  # Two protection changes that both succeeded ran one after the other, the
  # second from the first one's result (a command that finds the protection
  # changed under its lock gives up): the last one's password opens it.
  if [ ${#expect[@]} -eq 2 ]; then
    for pw in "${expect[@]}"; do
      opens "$pw" && opened="$pw"
    done
    [ -n "$opened" ] ||
      problem "neither successful command's password (${expect[*]}) reads the document: $(head -1 "$WORK/walk.err")"
  else
    for pw in "${expect[@]}"; do
      if opens "$pw"; then
        opened="$pw"
      else
        problem "a successful command's password ($pw) does not read the document: $(head -1 "$WORK/walk.err")"
      fi
    done
  fi
  if [ "$expect" != pw1 ] && [ "$start" = prot ] && [ "$opened" != none ] &&
    "$FIXTURE" --walk "$DOC" "$WORK/pw1" >/dev/null 2>&1; then
    problem "the old password still opens the document after a password change"
  fi
  if [ -z "$opened" ]; then
    # Say what the state is, for the report.
    for pw in none pw1 pwA pwB; do
      opens "$pw" && {
        problem "the document is read with $pw instead"
        break
      }
    done
    return
  fi
  # Every note of the start document, unchanged.
  other="$(grep -vxF -f "$WORK/walk" "$WORK/base.walk" | head -3)"
  [ -n "$other" ] && problem "notes lost or changed: $(tr '\t\n' ' ;' <<<"$other")"
  local args=()
  [ "$opened" != none ] && args=(--password-file "$WORK/$opened")
  for s in A B; do
    [ "${kinds[$s]}" = add ] || continue
    if [ "${RC[$s]}" -eq 0 ]; then
      id="$(head -1 "$WORK/out.$s")"
      if ! "$CLI" tree "$DOC" "${args[@]}" 2>/dev/null | grep -qP "^  $id\t[^\t]*\tAdded by $s\$"; then
        problem "add $s printed id $id and exited 0, but that node is not in the tree"
      else
        body="$("$CLI" cat "$DOC" "$id" "${args[@]}" 2>&1)"
        [ "$body" = "$(add_body "$s")" ] || problem "add $s: node $id holds '$(head -c 80 <<<"$body")'"
      fi
    elif grep -qP "\tAdded by $s\t" "$WORK/walk"; then
      problem "add $s failed, but its note is in the document"
    fi
  done
  "$CLI" export "$DOC" "$WORK/export.txt" "${args[@]}" >/dev/null 2>"$WORK/export.err" ||
    problem "export fails: $(head -1 "$WORK/export.err")"
  for s in A B; do
    if [ "${kinds[$s]}" = optimize_backup ] && [ "${RC[$s]}" -eq 0 ]; then
      [ "$(sqlite3 "$RUN/doc.q2db.bak" 'pragma integrity_check' 2>&1)" = ok ] ||
        problem "optimize --keep-backup $s kept a damaged backup"
    fi
  done
}

check_convert() {
  local s
  [ "$(sqlite3 "$OUT" 'pragma integrity_check' 2>&1)" = ok ] || problem "integrity check of the output fails"
  if ! "$FIXTURE" --walk "$OUT" >"$WORK/walk" 2>"$WORK/walk.err"; then
    problem "the output cannot be read: $(head -1 "$WORK/walk.err")"
    return
  fi
  if [ "${RC[A]}" -eq 0 ] || [ "${RC[B]}" -eq 0 ]; then
    cmp -s "$WORK/walk" "$WORK/base.walk" || problem "a convert exited 0, but the output is not the converted document"
  else
    cmp -s "$WORK/walk" "$WORK/other.walk" || problem "both converts failed, but the output changed"
  fi
}

# check_run START KIND_A KIND_B
check_run() {
  local s f
  for s in A B; do
    if [ "${RC[$s]}" -ne 0 ]; then
      if [ ! -s "$WORK/err.$s" ]; then
        problem "$s exited ${RC[$s]} without a word"
      elif ! head -1 "$WORK/err.$s" | grep -q '^quillnest-cli: ' ||
        grep -qE "$NOISE" "$WORK/err.$s"; then
        problem "$s failed with a message not meant for a person"
      fi
    fi
  done
  if [ "$1" = legacy ]; then check_convert; else check_doc "$@"; fi
  for f in $(ls -A "$RUN"); do
    case "$f" in
    doc.q2db | doc.q2db.bak | out.q2db) ;;
    *) problem "left behind: $f" ;;
    esac
  done
}

# --- one run --------------------------------------------------------------------

# wake SIDE: a held side is let go, a stopped one continued.
wake() {
  case "${STATUS[$1]}" in
  held) release "$1" ;;
  stopped) kill -CONT "${PID[$1]}" ;;
  esac
  STATUS[$1]=running
}
declare -A STATUS=()

# interleave: A is held and B has just started.  One side runs at a time:
# B until it ends, reaches its own hold point or waits for a lock A has
# (SQLite's busy handler sleeps); then A, the same way; and so on.  A side
# that waits is stopped (SIGSTOP) until the other has ended or stops in
# turn, so that it never slips in between two of the other's transactions
# by the luck of its busy handler's timing.
interleave() {
  local cur=B other=A
  EVENTS="A held, "
  STATUS[A]=held
  STATUS[B]=running
  while :; do
    settle "$cur"
    EVENTS+="$cur $SETTLED, "
    case "$SETTLED" in
    held) STATUS[$cur]=held ;;
    ended) STATUS[$cur]=ended ;;
    waiting)
      if [ "${STATUS[$other]}" = ended ]; then
        # Nobody left to wait for: the next try gets the lock.
        break
      elif [ "${STATUS[$other]}" = stopped ]; then
        # Each waits for the other (SQLite's deadlock of two writers): the
        # one that waited first goes on alone until its busy timeout gives
        # up, as it would have first with both running.
        kill -STOP "${PID[$cur]}"
        STATUS[$cur]=stopped
        wake "$other"
        settle "$other" patient
        EVENTS+="$other $SETTLED after its wait, "
        case "$SETTLED" in
        held | ended)
          # Then the stopped one goes on (below, as the other).
          STATUS[$other]=$SETTLED
          local u="$cur"
          cur="$other"
          other="$u"
          ;;
        waiting)
          # It waits again, past any busy timeout, for something else the
          # stopped one holds (the one-optimize-at-a-time lock): from here
          # both go on, as they would have.
          wake "$cur"
          break
          ;;
        hung)
          problem "$other hangs while the other is stopped"
          wake "$cur"
          break
          ;;
        esac
      else
        kill -STOP "${PID[$cur]}"
        STATUS[$cur]=stopped
      fi
      ;;
    hung)
      problem "$cur hangs while the other is held"
      wake A
      wake B
      break
      ;;
    esac
    if [ "${STATUS[$other]}" = ended ]; then
      [ "${STATUS[$cur]}" = ended ] && break
      wake "$cur"
      continue
    fi
    wake "$other"
    local t="$cur"
    cur="$other"
    other="$t"
  done
  # From here on both run freely: a hold point not reached yet would hold
  # its side with nobody left to let it go.
  release A
  release B
  EVENTS+="then both to the end"
}

TOTAL=0 UNSAFE=0 SKIPPED=0
declare -A OUTCOMES=()

# run_pair START KIND_A POINT_A KIND_B [POINT_B]
run_pair() {
  local start="$1" ka="$2" pa="$3" kb="$4" pb="${5:-}" outcome
  PROBLEMS=()
  setup "$start"
  side_cmd "$ka" A "$start"
  start_side A "$pa"
  settle A
  if [ "$SETTLED" != held ]; then
    # Alone, A always reaches the point it was traced at; a run that does not
    # is counted, not judged.
    release A
    finish A
    PID=()
    SKIPPED=$((SKIPPED + 1))
    return
  fi
  side_cmd "$kb" B "$start"
  start_side B "$pb"
  interleave
  finish A
  finish B
  PID=()
  TOTAL=$((TOTAL + 1))
  case "${RC[A]}${RC[B]}" in
  00) outcome="both ok" ;;
  0*) outcome="B failed" ;;
  *0) outcome="A failed" ;;
  *) outcome="both failed" ;;
  esac
  check_run "$start" "$ka" "$kb"
  [ -n "${QN_PAIRS_VERBOSE:-}" ] && echo "run [$start: A=$ka at $pa, B=$kb${pb:+ at $pb}] ${RC[A]}/${RC[B]}: $EVENTS; ${#PROBLEMS[@]} problems"
  OUTCOMES[$outcome]=$((${OUTCOMES[$outcome]:-0} + 1))
  if [ ${#PROBLEMS[@]} -gt 0 ]; then
    UNSAFE=$((UNSAFE + 1))
    PAIR_UNSAFE=$((PAIR_UNSAFE + 1))
    {
      printf 'UNSAFE [%s: A=%s held at %s (%s), B=%s%s] %s:\n' "$start" "$ka" "$pa" "$LABEL_A" "$kb" \
        "${pb:+ held at $pb ($LABEL_B)}" "$outcome"
      printf '    %s\n' "${PROBLEMS[@]}"
      echo "    order: $EVENTS"
      for s in A B; do [ -s "$WORK/err.$s" ] && sed "s/^/    $s says: /" "$WORK/err.$s"; done
    } >&2
  fi
}

# --- the sweep ------------------------------------------------------------------

declare -A POINTS=() MAJOR=()
for p in "${PAIRS[@]}"; do
  read -r start a b <<<"$p"
  for k in "$a" "$b"; do
    [ -n "${POINTS[$start $k]:-}" ] && continue
    POINTS[$start $k]="$(points "$k" "$start")"
    MAJOR[$start $k]="$(awk '$2 == 1' <<<"${POINTS[$start $k]}")"
  done
done

# pick I: the line I (counted from 0, round) of standard input.
pick() {
  awk -v i="$1" '{ l[NR] = $0 } END { if (NR) print l[1 + i % NR] }'
}

# The runs of each pair: one held (the held points of A, B to its end) and
# both held (points of A by points of B).  --short holds A at one main
# point (a different one from pair to pair) while B runs through, and at its
# first main point while B is held at its first and last main points and at
# its first flock.
declare -A ONE=() BOTH_A=() BOTH_B=()
PLANNED=0
k=0
for p in "${PAIRS[@]}"; do
  read -r start a b <<<"$p"
  if [ "$MODE" = short ]; then
    ONE[$p]="$(pick "$k" <<<"${MAJOR[$start $a]}")"
    BOTH_A[$p]="$(head -1 <<<"${MAJOR[$start $a]}")"
    BOTH_B[$p]="$( (sample 2 <<<"${MAJOR[$start $b]}"; grep '^flock:1 ' <<<"${MAJOR[$start $b]}") | sort -u -t: -k1,1 -k2n)"
  else
    ONE[$p]="${POINTS[$start $a]}"
    BOTH_A[$p]="${MAJOR[$start $a]}"
    BOTH_B[$p]="${MAJOR[$start $b]}"
  fi
  k=$((k + 1))
  n1=$(grep -c . <<<"${ONE[$p]}")
  n2=$(($(grep -c . <<<"${BOTH_A[$p]}") * $(grep -c . <<<"${BOTH_B[$p]}")))
  PLANNED=$((PLANNED + n1 + n2))
done
echo "pairs: ${#PAIRS[@]} ordered pairs, $PLANNED runs planned ($MODE)"

for p in "${PAIRS[@]}"; do
  read -r start a b <<<"$p"
  before=$TOTAL before_skip=$SKIPPED
  PAIR_UNSAFE=0
  while read -r pa _ LABEL_A; do
    [ -n "$pa" ] && run_pair "$start" "$a" "$pa" "$b"
  done <<<"${ONE[$p]}"
  while read -r pa _ LABEL_A; do
    [ -n "$pa" ] || continue
    while read -r pb _ LABEL_B; do
      [ -n "$pb" ] && run_pair "$start" "$a" "$pa" "$b" "$pb"
    done <<<"${BOTH_B[$p]}"
  done <<<"${BOTH_A[$p]}"
  printf 'pairs: %-6s %-16s %-16s %4d runs, %d unsafe%s\n' "$start" "$a" "$b" $((TOTAL - before)) \
    "$PAIR_UNSAFE" "$( ((SKIPPED > before_skip)) && echo ", $((SKIPPED - before_skip)) points not reached")"
done

# --- loops --------------------------------------------------------------------------

# loop OTHER: adds one after another while OTHER runs over and over, for
# LOOP_SECONDS; every add that exited 0 must be there afterwards.
loop() {
  local other="$1" pwargs=() end i=0 id added=0 failed=0 missing=0 rounds
  case "$other" in
  optimize) setup plain ;;
  passwd)
    setup prot
    pwargs=(--password-file "$WORK/pw1")
    ;;
  esac
  : >"$WORK/loop.added"
  : >"$WORK/loop.add.err"
  : >"$WORK/loop.other.err"
  end=$((SECONDS + LOOP_SECONDS))
  (
    n=0
    while [ $SECONDS -lt $end ]; do
      case "$other" in
      optimize) "$CLI" optimize "$DOC" >/dev/null 2>>"$WORK/loop.other.err" ;;
      # The same password again: every block rewritten, the document squeezed.
      passwd) "$CLI" passwd "$DOC" --password-file "$WORK/pw1" --new-password-file "$WORK/pw1" \
        >/dev/null 2>>"$WORK/loop.other.err" ;;
      esac
      n=$((n + 1))
    done
    echo "$n" >"$WORK/loop.rounds"
  ) &
  local bg=$!
  while [ $SECONDS -lt $end ]; do
    i=$((i + 1))
    if id="$("$CLI" add "$DOC" --parent 1 --title "Loop $i" --body "loop body $i" "${pwargs[@]}" \
      2>>"$WORK/loop.add.err")"; then
      printf '%s\tLoop %s\n' "$id" "$i" >>"$WORK/loop.added"
      added=$((added + 1))
    else
      failed=$((failed + 1))
    fi
  done
  wait "$bg"
  rounds="$(cat "$WORK/loop.rounds" 2>/dev/null)"
  TOTAL=$((TOTAL + 1))
  PROBLEMS=()
  [ "$(sqlite3 "$DOC" 'pragma integrity_check' 2>&1)" = ok ] || problem "integrity check fails"
  if ! "$FIXTURE" --walk "$DOC" "$WORK/pw1" >"$WORK/walk" 2>"$WORK/walk.err"; then
    problem "the document cannot be read: $(head -1 "$WORK/walk.err")"
    : >"$WORK/walk"
  fi
  while IFS=$'\t' read -r id title; do
    if ! grep -qP "^$id\t$title\t" "$WORK/walk"; then
      missing=$((missing + 1))
      [ $missing -le 5 ] && problem "add of '$title' printed id $id and exited 0, but the note is gone"
    fi
  done <"$WORK/loop.added"
  [ $missing -gt 5 ] && problem "... $((missing - 5)) more adds gone"
  local said
  said="$(cat "$WORK/loop.add.err" "$WORK/loop.other.err" |
    NOISE="$NOISE" awk '!/^quillnest-cli: / || $0 ~ ENVIRON["NOISE"]' | head -1)"
  [ -n "$said" ] && problem "a failure message not meant for a person: $said"
  printf 'loop:  add against %-8s %ds: %d adds ok, %d failed, %d %s runs; %d ok adds missing\n' \
    "$other" "$LOOP_SECONDS" "$added" "$failed" "${rounds:-0}" "$other" "$missing"
  if [ ${#PROBLEMS[@]} -gt 0 ]; then
    UNSAFE=$((UNSAFE + 1))
    {
      echo "UNSAFE [loop add against $other]:"
      printf '    %s\n' "${PROBLEMS[@]}"
    } >&2
  fi
}

if [ "${QN_PAIRS_LOOP:-}" = 1 ] || { [ "${QN_PAIRS_LOOP:-}" != 0 ] && [ -z "${QN_PAIRS_ONLY:-}" ]; }; then
  loop optimize
  loop passwd
fi

summary=""
for o in "both ok" "A failed" "B failed" "both failed"; do
  summary+="${summary:+, }$o ${OUTCOMES[$o]:-0}"
done
echo "pairs: $TOTAL runs ($summary), $SKIPPED points not reached, $UNSAFE unsafe ($MODE)"
[ "$UNSAFE" -eq 0 ]
