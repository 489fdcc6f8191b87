#!/usr/bin/env bash
# Drives the real desktop program with xdotool, the way a user does it with
# the keyboard: typed paths in the file dialogs, keys in the message box,
# closing right after opening or saving. Runs under its own Xvfb server.
#   desktop_test.sh QUILLNEST QUILLNEST_CLI SHIPPED_DATA_DIR
# QN_KEEP=1 keeps the work folder (strace logs, documents); QN_SHOTS=DIR
# saves screenshots of the messages there.
set -u

APP=$1
CLI=$2
SHIPPED=$3

command -v xdotool >/dev/null || { echo "xdotool is missing (scripts/setup.sh)"; exit 1; }

T=$(mktemp -d /tmp/qn-desktop.XXXXXX)
PID=
cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null
  [ -n "${MOUNTED:-}" ] && umount "$MOUNTED"
  [ -n "${QN_KEEP:-}" ] || rm -rf "$T"
}
trap cleanup EXIT

export QUILLNEST_DATA=$SHIPPED
export XDG_RUNTIME_DIR=$T/run
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11
mkdir -p "$XDG_RUNTIME_DIR" "$T/docs" "$T/elsewhere" && chmod 700 "$XDG_RUNTIME_DIR"

FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }
ok() { echo "ok: $*"; }

# A fresh application data directory per run of the program.
fresh_home() {
  export QUILLNEST_HOME=$T/home-$1
  rm -rf "$QUILLNEST_HOME"
  mkdir -p "$QUILLNEST_HOME"
  cp -r "$SHIPPED"/. "$QUILLNEST_HOME"/
}

# The program runs in $T: relative paths typed in its dialogs start there.
start() {
  (cd "$T" && exec "$APP" "$@") >"$T/app.log" 2>&1 &
  PID=$!
  main_window >/dev/null || { fail "no window appeared"; cat "$T/app.log"; return 1; }
}

# The visible windows of the program, newest last.
windows() { xdotool search --onlyvisible --pid "$PID" 2>/dev/null; }

# Waits (up to 10 s) until the program shows at least $1 windows.
wait_windows() {
  for _ in $(seq 100); do
    [ "$(windows | wc -l)" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits until the program shows at most $1 windows.
wait_windows_below() {
  for _ in $(seq 100); do
    [ "$(windows | wc -l)" -le "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

main_window() {
  wait_windows 1 || return 1
  windows | head -1
}

# Sends keys to the newest window of the program.
keys() {
  local w
  w=$(windows | tail -1)
  xdotool windowfocus --sync "$w" 2>/dev/null
  sleep 0.3
  xdotool key --delay 50 "$@"
}

# Types $1 into the focused window.  Letters outside ASCII go in through the
# toolkit's own Unicode entry (Ctrl+Shift+U, the code point, Space), as a
# user without such keys types them: xdotool would instead map each of them
# to a spare key for a moment, and the program may look the key up after
# the map was put back and lose the letter.
type_text() {
  local kind part
  sleep 0.5
  while IFS=$'\t' read -r kind part; do
    if [ "$kind" = t ]; then
      xdotool type --delay 20 "$part"
    else
      xdotool key --delay 50 ctrl+shift+u $part space
    fi
  done < <(python3 -c '
import re, sys
for run in re.findall(r"[ -~]+|[^ -~]", sys.argv[1]):
    if run.isascii():
        print("t", run, sep="\t")
    else:
        print("u", " ".join(format(ord(run), "x")), sep="\t")
' "$1")
  sleep 0.5
}

# Waits (up to 10 s) until the file $1 exists.
wait_file() {
  for _ in $(seq 100); do
    [ -f "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits until the main window's title is $1.
wait_title() {
  local w
  w=$(main_window)
  for _ in $(seq 100); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && return 0
    sleep 0.1
  done
  echo "title: $(xdotool getwindowname "$w" 2>/dev/null)"
  return 1
}

# Waits until the program has ended.
wait_exit() {
  for _ in $(seq 100); do
    kill -0 "$PID" 2>/dev/null || { PID=; return 0; }
    sleep 0.1
  done
  return 1
}

stop() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null
  wait "$PID" 2>/dev/null
  PID=
}

"$CLI" new "$T/docs/a.q2db" >/dev/null || { echo "quillnest-cli new failed"; exit 1; }
echo "plain text, not a document" >"$T/docs/notes.txt"

# --- Open with a typed path, then close at once: no question ---
fresh_home open
start
keys ctrl+o
if wait_windows 2; then
  keys ctrl+l
  type_text "docs/a.q2db"
  keys Return
  wait_title "Quillnest - $T/docs/a.q2db" && ok "typed relative path opens the document" ||
    fail "typed relative path in the open dialog did not open the document"
else
  fail "no open dialog"
fi
# The key goes to the newest window: the open dialog must be gone first.
wait_windows_below 1
keys ctrl+q
wait_exit && ok "closing right after opening asks nothing" ||
  fail "closing right after opening did not end the program (a question?)"
stop

# --- Save a new document under a typed path in another folder; ctrl+S, then close ---
fresh_home save
start
keys ctrl+n
wait_title "Quillnest - new document" || fail "no new document"
keys ctrl+s
if wait_windows 2; then
  keys ctrl+a
  type_text "elsewhere/typed.q2db"
  keys Return
  wait_windows_below 1
  wait_file "$T/elsewhere/typed.q2db"
  [ -f "$T/elsewhere/typed.q2db" ] && ok "typed path in the save dialog is where the file goes" ||
    fail "the document was not saved under the typed path ($(ls "$T"/home-save "$T"/docs | tr '\n' ' '))"
else
  fail "no save dialog"
fi
keys ctrl+s
keys ctrl+q
wait_exit && ok "closing right after ctrl+S asks nothing" ||
  fail "closing right after ctrl+S did not end the program"
stop

# --- A new document nobody touched closes without a question; a changed
# document shows "*" in its title until it is saved ---
fresh_home untouched
start
keys ctrl+n
wait_title "Quillnest - new document" || fail "no new document"
keys ctrl+q
wait_exit && ok "closing an untouched new document asks nothing" ||
  fail "closing an untouched new document did not end the program (a question?)"
stop
"$CLI" new "$T/docs/marked.q2db" >/dev/null
"$CLI" add "$T/docs/marked.q2db" --parent 1 --title "Note" >/dev/null
fresh_home marked
start "$T/docs/marked.q2db"
wait_title "Quillnest - $T/docs/marked.q2db" || fail "the document to change did not open"
keys Home Right Down F2
type_text "Renamed"
keys Return
wait_title "*Quillnest - $T/docs/marked.q2db" && ok "a changed document shows * in its title" ||
  fail "no * in the title of a changed document"
keys ctrl+s
wait_title "Quillnest - $T/docs/marked.q2db" && ok "saving takes the * away" ||
  fail "the * stayed in the title after saving"
stop

# --- A document handed over by a second start while a dialog is open waits
# for the dialog to close, then opens in front ---
"$CLI" new "$T/docs/second.q2db" >/dev/null
fresh_home forward
start "$T/docs/a.q2db"
wait_title "Quillnest - $T/docs/a.q2db" || fail "the first document did not open"
keys ctrl+o
if wait_windows 2; then
  (cd "$T" && "$APP" "$T/docs/second.q2db") >"$T/second.log" 2>&1
  sleep 1
  [ "$(windows | wc -l)" = 2 ] && ok "no window opens under the open dialog" ||
    fail "a window opened while the open dialog was up ($(windows | wc -l) windows)"
  keys Escape
  wait_windows_below 1
  found=
  for _ in $(seq 100); do
    for w in $(windows); do
      [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "Quillnest - $T/docs/second.q2db" ] && found=$w
    done
    [ -n "$found" ] && break
    sleep 0.1
  done
  [ -n "$found" ] && ok "the handed-over document opens once the dialog is closed" ||
    fail "the handed-over document did not open after the dialog closed"
else
  fail "no open dialog"
fi
stop

# --- The message box answers the keyboard: Enter, Escape ---
fresh_home message
start "$T/docs/notes.txt"
if wait_windows 2; then
  keys Return
  wait_windows_below 1 && ok "Enter answers the message box" || fail "Enter left the message box open"
else
  fail "no message for a file that is not a document"
fi
stop
start "$T/docs/notes.txt"
if wait_windows 2; then
  keys Escape
  wait_windows_below 1 && ok "Escape answers the message box" || fail "Escape left the message box open"
fi
stop

# --- Editing the tree from the keyboard; an independent reader checks the file ---
"$CLI" new "$T/docs/tree.q2db" >/dev/null
for title in Alpha Beta Gamma; do
  "$CLI" add "$T/docs/tree.q2db" --parent 1 --title "$title" --body "$title body" >/dev/null
done
"$CLI" add "$T/docs/tree.q2db" --parent 3 --title "Beta child" >/dev/null
fresh_home tree
start "$T/docs/tree.q2db"
W=$(main_window)
# The top node's row in the navigation tree, then: open it, go to Alpha,
# a new sibling below (Enter), a title typed in place (F2), that node up,
# Beta deleted (Delete, answered with Enter), saved, and quit.
xdotool mousemove --window "$W" 120 125 click 1
sleep 0.5
keys Right Down Return
keys F2
type_text "Grüße Ελλάδα"
keys Return shift+Up Down Down Delete
wait_windows 2 || fail "no question before deleting a node"
keys Return
keys ctrl+s ctrl+q
wait_exit || fail "the program did not end after ctrl+S and ctrl+Q"
stop
headers=$(sqlite3 "$T/docs/tree.q2db" "select id, cast(hdr as text) from block order by id" | tr '\n' '|')
case "$headers" in
  *"ch=6,2,4|"*"cap=Grüße Ελλάδα|p=1|"*) ok "tree edits from the keyboard are in the saved file" ;;
  *) fail "the saved tree is not as edited: $headers" ;;
esac
[ "$(sqlite3 "$T/docs/tree.q2db" "select count(*) from block where id in (3, 5)")" = 0 ] &&
  ok "the deleted node went with its subtree" || fail "the deleted nodes are still in the file"

# --- A new sibling (Enter) is named straight away: its title is typed in place ---
"$CLI" new "$T/docs/named.q2db" >/dev/null
"$CLI" add "$T/docs/named.q2db" --parent 1 --title "First" >/dev/null
fresh_home named
start "$T/docs/named.q2db"
W=$(main_window)
xdotool mousemove --window "$W" 120 125 click 1
sleep 0.5
keys Right Down Return
type_text "Named at once"
keys Return ctrl+s ctrl+q
wait_exit || fail "the program did not end after naming a new node"
stop
case "$(sqlite3 "$T/docs/named.q2db" "select cast(hdr as text) from block" | tr '\n' '|')" in
  *"cap=Named at once|"*) ok "a new sibling takes its title as typed, without F2" ;;
  *) fail "the new sibling was not named in place" ;;
esac

# --- Another program adds a note while the window is open; closing keeps it ---
"$CLI" new "$T/docs/shared.q2db" >/dev/null
"$CLI" add "$T/docs/shared.q2db" --parent 1 --title "First" >/dev/null
fresh_home shared
start "$T/docs/shared.q2db"
wait_title "Quillnest - $T/docs/shared.q2db" || fail "the shared document did not open"
# Looking around changes the view state that closing stores.
keys Home Right Down
theirs=$("$CLI" add "$T/docs/shared.q2db" --parent 1 --title "Theirs" --body "their note")
keys ctrl+q
wait_exit || fail "the program did not end on ctrl+Q after another program's change"
stop
"$CLI" tree "$T/docs/shared.q2db" | grep -q "^  $theirs	.*Theirs$" &&
  ok "closing after another program's add keeps its note in the tree" ||
  fail "another program's note is gone from the tree after closing: $("$CLI" tree "$T/docs/shared.q2db" | tr '\n' '|')"

# --- Another program adds a note while the desktop's save is held (by
# strace) at a lock call: at its first one (the check for changes) and at
# the write lock itself.  The save is refused with a reason either way, and
# neither the other program's note nor the file is lost ---
# Starts the program on a fresh race document with one node renamed, and
# attaches strace to it with the extra options given.
race_start() {
  rm -f "$T/docs/race.q2db"
  "$CLI" new "$T/docs/race.q2db" >/dev/null
  "$CLI" add "$T/docs/race.q2db" --parent 1 --title "First" >/dev/null
  fresh_home race
  start "$T/docs/race.q2db"
  wait_title "Quillnest - $T/docs/race.q2db" || fail "the race document did not open"
  keys Home Right Down F2
  type_text "Mine"
  keys Return
  strace -qq -f -p "$PID" -e trace=fcntl "$@" &
  SPID=$!
  sleep 1
}
race_end() {
  kill "$SPID" 2>/dev/null
  wait "$SPID" 2>/dev/null
  stop
}
# (strace attaches to the running program: root, or a system that lets a
# user trace its own processes.)
if strace -qq -o /dev/null true 2>/dev/null &&
  { [ "$(id -u)" = 0 ] || [ "$(cat /proc/sys/kernel/yama/ptrace_scope 2>/dev/null || echo 0)" = 0 ]; }; then
  # Where the write lock comes among the lock calls of a save.
  race_start -o "$T/locks.log"
  keys ctrl+s
  for _ in $(seq 50); do
    grep -q 'F_WRLCK.*l_start=1073741825' "$T/locks.log" && break
    sleep 0.1
  done
  sleep 0.5
  race_end
  # The lock calls up to the write lock: the check for changes comes first
  # and lets go of its read lock; then the backup's read and the write
  # transaction follow.
  sed '/F_WRLCK.*l_start=1073741825/q' "$T/locks.log" | grep 'fcntl(' >"$T/before.log"
  write_lock=$(wc -l <"$T/before.log")
  after_check=$(($(grep -n 'F_UNLCK.*l_start=0, l_len=0' "$T/before.log" | head -1 | cut -d: -f1) + 1))
  for at in 1 "$after_check" "$write_lock"; do
    race_start -o /dev/null -e inject=fcntl:delay_enter=3000000:when="$at"
    keys ctrl+s
    sleep 0.5
    # Held before its write lock, the save lets this add through; held at
    # it, the save may already hold the read lock, and the add then waits
    # and gives up with a reason.  Either way nothing that said done is lost.
    if theirs=$("$CLI" add "$T/docs/race.q2db" --parent 1 --title "Theirs" 2>"$T/add.err"); then
      wait_windows 2 && ok "the save held at lock call $at of $write_lock answered with a message" ||
        fail "the save held at lock call $at said nothing after another program's add"
      [ -n "${QN_SHOTS:-}" ] && import -window root "$QN_SHOTS/held-save-$at.png"
      keys Return
    else
      grep -q "locked\|another program" "$T/add.err" &&
        ok "the add while the save held lock call $at gave up with a reason" ||
        fail "the add while the save held lock call $at failed without a reason: $(cat "$T/add.err")"
    fi
    race_end
    tree=$("$CLI" tree "$T/docs/race.q2db" | tr '\n' '|')
    if [ -n "$theirs" ]; then
      case "$tree" in
        *"$theirs	"*"	Theirs|"*) ok "the other program's note survived the held save" ;;
        *) fail "the other program's note is gone after the save held at lock call $at: $tree" ;;
      esac
    fi
    [ "$(sqlite3 "$T/docs/race.q2db" 'pragma integrity_check')" = ok ] ||
      fail "the document is damaged after the save held at lock call $at"
  done
fi

# --- A full disk during a save: the user is told, the file stays as it was,
# and the same save goes through once there is room (on a small tmpfs, where
# this may mount one) ---
SMALL=$T/small
mkdir -p "$SMALL"
if mount -t tmpfs -o size=512k tmpfs "$SMALL" 2>/dev/null; then
  MOUNTED=$SMALL
  doc=$SMALL/full.q2db
  "$CLI" new "$doc" >/dev/null
  folder=$("$CLI" add "$doc" --parent 1 --title "Folder")
  head -c 2400 /dev/zero | tr '\0' 'x' >"$T/body.txt"
  for i in $(seq 40); do
    "$CLI" add "$doc" --parent "$folder" --title "Note $i" --body-file "$T/body.txt" >/dev/null
  done
  before=$("$CLI" tree "$doc")
  fresh_home full
  start "$doc"
  wait_title "Quillnest - $doc" || fail "the document on the small disk did not open"
  # Everything but a few blocks of the disk is taken.
  dd if=/dev/zero of="$SMALL/fill" bs=4k 2>/dev/null
  rm -f "$SMALL/fill.keep"
  dd if=/dev/zero of="$SMALL/fill.keep" bs=4k count=0 2>/dev/null
  keys Home Right Down Delete
  wait_windows 2 && keys Return
  wait_windows_below 1
  keys ctrl+s
  if wait_windows 2; then
    ok "a save onto a full disk answers with a message"
    [ -n "${QN_SHOTS:-}" ] && import -window root "$QN_SHOTS/full-disk.png"
    [ "$(windows | wc -l)" -le 2 ] || fail "more than one message for a full disk"
    for _ in 1 2 3; do
      [ "$(windows | wc -l)" -le 1 ] && break
      keys Return
      sleep 0.3
    done
  else
    fail "a save onto a full disk said nothing"
  fi
  [ "$(sqlite3 "$doc" 'pragma integrity_check')" = ok ] || fail "the full disk damaged the document"
  [ "$("$CLI" tree "$doc")" = "$before" ] && ok "the failed save left the document as it was" ||
    fail "the failed save changed the document: $("$CLI" tree "$doc" | wc -l) lines"
  rm -f "$SMALL/fill"
  keys ctrl+s
  sleep 1
  keys ctrl+q
  wait_exit || fail "the program did not end after the second save"
  stop
  [ "$("$CLI" tree "$doc" | wc -l)" = 1 ] && ok "with room again the same save removes the folder" ||
    fail "the save with room again did not remove the folder: $("$CLI" tree "$doc" | tr '\n' '|')"
  umount "$SMALL" && MOUNTED=
fi

# --- A missing settings file: the message answers Enter and the program ends ---
fresh_home missing
rm "$QUILLNEST_HOME/settings.ini"
start
keys Return
wait_exit && ok "the missing-settings message ends the program on Enter" ||
  fail "the missing-settings message did not end the program on Enter"
stop

exit $FAILED
