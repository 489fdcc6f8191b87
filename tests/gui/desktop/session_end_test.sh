#!/usr/bin/env bash
# The end of a session (SIGTERM from a logout or `kill`, a kill -9, a power
# cut) must not lose typed text: the real program is started on a document,
# text is typed into a note, the program is ended from outside, and the next
# start must offer the text back.  Runs under its own Xvfb server.
#   session_end_test.sh QUILLNEST QUILLNEST_CLI SHIPPED_DATA_DIR
set -u

APP=$1
CLI=$2
SHIPPED=$3

command -v xdotool >/dev/null || { echo "xdotool is missing (scripts/setup.sh)"; exit 1; }

T=$(mktemp -d /tmp/qn-session.XXXXXX)
PID=
cleanup() {
  [ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT

export QUILLNEST_DATA=$SHIPPED
export XDG_RUNTIME_DIR=$T/run
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }
ok() { echo "ok: $*"; }

# A fresh application data directory; $2 replaces the setting "save".
fresh_home() {
  export QUILLNEST_HOME=$T/home-$1
  rm -rf "$QUILLNEST_HOME"
  mkdir -p "$QUILLNEST_HOME"
  cp -r "$SHIPPED"/. "$QUILLNEST_HOME"/
  sed -i "s/^save=.*/save=$2/" "$QUILLNEST_HOME/settings.ini"
}

# A document with the note "Alpha" (id 2) under the top node.
fresh_doc() {
  rm -f "$T/doc.q2db"
  "$CLI" new "$T/doc.q2db" >/dev/null && "$CLI" add "$T/doc.q2db" --parent 1 --title Alpha --body "Alpha body" >/dev/null ||
    { echo "quillnest-cli could not make the document"; exit 1; }
}

start() {
  (cd "$T" && exec "$APP" "$@") >"$T/app.log" 2>&1 &
  PID=$!
  wait_windows 1 || { fail "no window appeared"; cat "$T/app.log"; return 1; }
}

windows() { xdotool search --onlyvisible --pid "$PID" 2>/dev/null; }

wait_windows() {
  for _ in $(seq 100); do
    [ "$(windows | wc -l)" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

wait_windows_below() {
  for _ in $(seq 100); do
    [ "$(windows | wc -l)" -le "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

keys() {
  local w
  w=$(windows | tail -1)
  xdotool windowfocus --sync "$w" 2>/dev/null
  sleep 0.3
  xdotool key --delay 50 "$@"
}

# Up to 10 s for the program to end on its own.
wait_exit() {
  for _ in $(seq 100); do
    kill -0 "$PID" 2>/dev/null || { wait "$PID" 2>/dev/null; PID=; return 0; }
    sleep 0.1
  done
  return 1
}

# Waits (up to 10 s) until a recovery file exists, then 2.5 s more, over
# twice the timed copy's period (recoverySeconds=1 where it is used): the
# first copy may have been written while the typing still went on.
wait_recovery() {
  for _ in $(seq 100); do
    [ -n "$(recovery_files)" ] && { sleep 2.5; return 0; }
    sleep 0.1
  done
  return 1
}

recovery_files() { ls "$QUILLNEST_HOME"/recovery/*.q2rec 2>/dev/null; }

# Selects Alpha in the tree and types $1 at the start of its article.
type_into_alpha() {
  local w
  w=$(windows | head -1)
  xdotool mousemove --window "$w" 120 125 click 1
  sleep 0.5
  keys Right Down
  sleep 0.5
  xdotool mousemove --window "$w" 700 400 click 1
  sleep 0.3
  xdotool key ctrl+Home
  xdotool type --delay 20 "$1"
  sleep 0.5
}

alpha_body() { "$CLI" cat "$T/doc.q2db" 2 2>/dev/null; }

# --- SIGTERM with "save" asking first: the edits go to a recovery file ---
fresh_home ask 1110
fresh_doc
start "$T/doc.q2db"
type_into_alpha "Typed before logout. "
kill -TERM "$PID"
wait_exit && ok "SIGTERM ends the program without a question" ||
  fail "the program did not end after SIGTERM (a question?)"
grep -q "^recentfile1=$T/doc.q2db$" "$QUILLNEST_HOME/settings.ini" &&
  ok "the recent files were written" || fail "settings.ini has no recent file: $(grep recentfile "$QUILLNEST_HOME/settings.ini")"
[ "$(alpha_body)" = "Alpha body" ] && ok "the document itself was not written" ||
  fail "the document was changed: $(alpha_body)"
REC=$(recovery_files)
if [ "$(echo "$REC" | grep -c q2rec)" = 1 ]; then
  ok "one recovery file"
  [ "$(stat -c %a "$REC")" = 600 ] && ok "the recovery file is private" || fail "recovery file mode $(stat -c %a "$REC")"
else
  fail "expected one recovery file, found: $REC"
fi

# The next start asks: Yes brings the text back into the document, which
# nobody changed meanwhile; a save then removes the recovery file.
cp "$REC" "$T/kept.q2rec"
start "$T/doc.q2db"
if wait_windows 2; then
  keys Return # Yes
  wait_windows_below 1
  keys ctrl+s
  sleep 0.5
  keys ctrl+q
  wait_exit || fail "the program did not end after restoring, ctrl+S and ctrl+Q"
  [ "$(alpha_body)" = "Typed before logout. Alpha body" ] && ok "Yes brings the typed text back" ||
    fail "after Yes and a save the note holds: $(alpha_body)"
  [ -z "$(recovery_files)" ] && ok "saving removes the recovery file" || fail "left after the save: $(recovery_files)"
else
  fail "no restore question"
fi
[ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
PID=

# Escape keeps the file for the next start; No throws it away.
cp "$T/kept.q2rec" "$REC"
start
if wait_windows 2; then
  keys Escape
  wait_windows_below 1
  [ -f "$REC" ] && ok "Escape keeps the recovery file" || fail "Escape removed the recovery file"
else
  fail "no restore question before Escape"
fi
keys ctrl+q
wait_exit || fail "the program did not end after Escape and ctrl+Q"
start
if wait_windows 2; then
  keys Tab Return # No
  wait_windows_below 1
  [ -z "$(recovery_files)" ] && ok "No removes the recovery file" || fail "No left $(recovery_files)"
else
  fail "no restore question after Escape"
fi
keys ctrl+q
wait_exit || fail "the program did not end after No and ctrl+Q"

# --- A session that ends while a question is open: the question is
# cancelled, the edits are kept, the program ends ---
fresh_doc
start "$T/doc.q2db"
type_into_alpha "Asked, never answered. "
keys ctrl+q # "Save the changes?"
if wait_windows 2; then
  kill -TERM "$PID"
  wait_exit && ok "SIGTERM during a question ends the program" || fail "SIGTERM during a question did not end the program"
  [ -n "$(recovery_files)" ] && ok "the edits behind the question are kept" || fail "no recovery file after a question"
else
  fail "no question before closing a changed document"
fi
# And during the restore question itself: the file stays for later.
start "$T/doc.q2db"
if wait_windows 2; then
  kill -TERM "$PID"
  wait_exit && ok "SIGTERM during the restore question ends the program" ||
    fail "SIGTERM during the restore question did not end the program"
  [ -n "$(recovery_files)" ] && ok "the unanswered recovery file stays" || fail "the recovery file went unanswered"
else
  fail "no restore question after a question was cancelled"
fi
[ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
PID=
rm -f "$QUILLNEST_HOME"/recovery/*
# And while a file dialog is open (a native dialog, not one of our own).
fresh_doc
start "$T/doc.q2db"
type_into_alpha "Behind the open dialog. "
keys ctrl+o
if wait_windows 2; then
  kill -TERM "$PID"
  wait_exit && ok "SIGTERM during a file dialog ends the program" ||
    fail "SIGTERM during a file dialog did not end the program"
  [ -n "$(recovery_files)" ] && ok "the edits behind the file dialog are kept" ||
    fail "no recovery file after a file dialog"
else
  fail "no open dialog"
fi
[ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
PID=
rm -f "$QUILLNEST_HOME"/recovery/*

# --- Another program changed the document meanwhile: the restored edits
# come as a new document, and the other program's note is still there ---
fresh_doc
start "$T/doc.q2db"
type_into_alpha "Mine. "
kill -TERM "$PID"
wait_exit || fail "the program did not end after SIGTERM"
"$CLI" add "$T/doc.q2db" --parent 1 --title Theirs --body "their note" >/dev/null
start "$T/doc.q2db"
if wait_windows 2; then
  keys Return # Yes
  wait_windows 2 # what happened to the edits, then the document as it is now
  keys Return
  wait_windows_below 2
  wait_windows 2
  sleep 0.5
  case "$(for w in $(windows); do xdotool getwindowname "$w"; done)" in
    *"restored changes of $T/doc.q2db"*) ok "edits over a changed document come as a new document" ;;
    *) fail "no window with the restored changes: $(for w in $(windows); do xdotool getwindowname "$w"; done)" ;;
  esac
else
  fail "no restore question for a changed document"; cat "$T/app.log"
fi
"$CLI" tree "$T/doc.q2db" | grep -q Theirs && ok "the other program's note is kept" || fail "the other note is gone"
kill -KILL "$PID"
wait "$PID" 2>/dev/null
PID=

# --- A new document that was never saved gets a recovery file too; it
# comes back as a new document whose save asks for a name ---
rm -f "$QUILLNEST_HOME"/recovery/*
start
keys ctrl+n
sleep 0.5
W=$(windows | head -1)
xdotool mousemove --window "$W" 700 400 click 1
sleep 0.3
xdotool type --delay 20 "Never saved."
sleep 0.5
kill -TERM "$PID"
wait_exit || fail "the program did not end after SIGTERM with a new document"
[ -n "$(recovery_files)" ] && ok "a never-saved document gets a recovery file" || fail "no recovery file for a new document"
start
if wait_windows 2; then
  keys Return # Yes
  wait_windows_below 1
  keys ctrl+s
  if wait_windows 2; then
    keys ctrl+a
    sleep 0.3
    xdotool type --delay 20 "$T/new.q2db"
    keys Return
    wait_windows_below 1
    sleep 0.5
    "$CLI" cat "$T/new.q2db" 1 2>/dev/null | grep -q "^Never saved." &&
      ok "the never-saved text comes back and saves under a new name" ||
      fail "the restored new document holds: $("$CLI" cat "$T/new.q2db" 1 2>&1)"
  else
    fail "no save dialog for the restored new document"
  fi
else
  fail "no restore question for a new document"
fi
keys ctrl+q
wait_exit || fail "the program did not end after saving the restored new document"
[ -z "$(recovery_files)" ] && ok "saving the restored new document removes its recovery file" ||
  fail "left: $(recovery_files)"
[ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
PID=

# --- SIGTERM with "save without asking": the document is saved ---
fresh_home save 1111
fresh_doc
start "$T/doc.q2db"
type_into_alpha "Saved on the way out. "
kill -TERM "$PID"
wait_exit && ok "SIGTERM with save-on-exit ends the program" || fail "no end after SIGTERM with save-on-exit"
[ "$(alpha_body)" = "Saved on the way out. Alpha body" ] && ok "save-on-exit saves at a session end" ||
  fail "not saved at the session end: $(alpha_body)"
[ -z "$(recovery_files)" ] && ok "a saved document leaves no recovery file" || fail "left: $(recovery_files)"

# --- kill -9 after a few seconds of typing: the timed recovery file ---
fresh_home timed 1111
sed -i "s/^recoverySeconds=.*/recoverySeconds=1/" "$QUILLNEST_HOME/settings.ini"
fresh_doc
start "$T/doc.q2db"
type_into_alpha "Before the power cut. "
wait_recovery && ok "editing writes a recovery file on its own" || fail "no recovery file while editing"
kill -KILL "$PID"
wait "$PID" 2>/dev/null
PID=
start "$T/doc.q2db"
if wait_windows 2; then
  keys Return
  wait_windows_below 1
  keys ctrl+s
  sleep 0.5
  keys ctrl+q
  wait_exit || fail "no end after restoring from a kill -9"
  [ "$(alpha_body)" = "Before the power cut. Alpha body" ] && ok "text typed before a kill -9 comes back" ||
    fail "after a kill -9 the note holds: $(alpha_body)"
else
  fail "no restore question after a kill -9"
fi

exit $FAILED
