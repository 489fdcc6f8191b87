#!/usr/bin/env bash
# The desktop program started with a document of the older format, driven
# with xdotool: the converter dialog comes up, Enter converts, the window
# opens the new document, and SQLite and the command-line tool read it.
#   converter_desktop_test.sh QUILLNEST QUILLNEST_CLI SHIPPED_DATA_DIR OLD.qudb
set -u

APP=$1
CLI=$2
SHIPPED=$3
OLD=$4

command -v xdotool >/dev/null || { echo "xdotool is missing (scripts/setup.sh)"; exit 1; }

T=$(mktemp -d /tmp/qn-convert.XXXXXX)
PID=
cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT

export QUILLNEST_DATA=$SHIPPED QUILLNEST_HOME=$T/home XDG_RUNTIME_DIR=$T/run
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11
mkdir -p "$XDG_RUNTIME_DIR" "$QUILLNEST_HOME" "$T/docs" && chmod 700 "$XDG_RUNTIME_DIR"
cp -r "$SHIPPED"/. "$QUILLNEST_HOME"/
cp "$OLD" "$T/docs/old.qudb"

windows() { xdotool search --onlyvisible --pid "$PID" 2>/dev/null; }
# Waits (up to 10 s) for a visible window of the program whose title holds $1.
wait_title() {
  for _ in $(seq 100); do
    for w in $(windows); do
      case "$(xdotool getwindowname "$w" 2>/dev/null)" in *"$1"*) echo "$w"; return 0 ;; esac
    done
    sleep 0.1
  done
  return 1
}

(cd "$T/docs" && exec "$APP" old.qudb) >"$T/app.log" 2>&1 &
PID=$!

DIALOG=$(wait_title "converter") || { echo "FAIL: no converter dialog"; cat "$T/app.log"; exit 1; }
xdotool windowfocus --sync "$DIALOG" 2>/dev/null
sleep 0.3
xdotool key Return

wait_title "old.q2db" >/dev/null || { echo "FAIL: the new document did not open"; cat "$T/app.log"; exit 1; }
echo "ok: the converter ran and the window shows old.q2db"

FAILED=0
[ "$(sqlite3 -readonly "$T/docs/old.q2db" 'pragma integrity_check')" = ok ] \
  || { echo "FAIL: sqlite3 does not accept the new document"; FAILED=1; }
TREE=$("$CLI" tree "$T/docs/old.q2db") || { echo "FAIL: quillnest-cli cannot read it"; FAILED=1; }
case "$TREE" in *Top*"Node 4"*) echo "ok: quillnest-cli reads the converted tree" ;;
  *) echo "FAIL: unexpected tree: $TREE"; FAILED=1 ;; esac
cmp -s "$OLD" "$T/docs/old.qudb" || { echo "FAIL: the old document changed"; FAILED=1; }
exit $FAILED
