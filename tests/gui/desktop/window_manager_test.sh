#!/usr/bin/env bash
# What only shows under a window manager: openbox runs on the Xvfb display,
# stacks and focuses the windows and sizes them after they were built, as a
# desktop does.  The real program is driven with xdotool.
#   window_manager_test.sh QUILLNEST QUILLNEST_CLI SHIPPED_DATA_DIR OLD.qudb
# QN_KEEP=1 keeps the work folder; QN_SHOTS=DIR saves screenshots there.
set -u

APP=$1
CLI=$2
SHIPPED=$3
OLD=$4

for tool in xdotool openbox xprop; do
  command -v $tool >/dev/null || { echo "$tool is missing (scripts/setup.sh)"; exit 1; }
done

T=$(mktemp -d /tmp/qn-wm.XXXXXX)
PID=
WM=
cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null
  [ -n "$WM" ] && kill "$WM" 2>/dev/null
  [ -n "${QN_KEEP:-}" ] || rm -rf "$T"
}
trap cleanup EXIT

export QUILLNEST_DATA=$SHIPPED
export XDG_RUNTIME_DIR=$T/run XDG_CONFIG_HOME=$T/config XDG_CACHE_HOME=$T/cache
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11
mkdir -p "$XDG_RUNTIME_DIR" "$T/docs" && chmod 700 "$XDG_RUNTIME_DIR"

FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }
ok() { echo "ok: $*"; }

openbox --sm-disable >"$T/openbox.log" 2>&1 &
WM=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
  { echo "openbox did not start"; cat "$T/openbox.log"; exit 1; }

fresh_home() {
  export QUILLNEST_HOME=$T/home-$1
  rm -rf "$QUILLNEST_HOME"
  mkdir -p "$QUILLNEST_HOME"
  cp -r "$SHIPPED"/. "$QUILLNEST_HOME"/
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

shot() {
  [ -n "${QN_SHOTS:-}" ] || return 0
  mkdir -p "$QN_SHOTS" && import -window root "$QN_SHOTS/$1.png"
}

# The client windows as the manager stacks them, the top one last.
stacking() {
  xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, / /g'
}

# The window of the program that is stacked highest.
top_window() {
  local mine top=
  mine=" $(windows | tr '\n' ' ') "
  for w in $(stacking); do
    case "$mine" in *" $((w)) "*) top=$((w)) ;; esac
  done
  echo "$top"
}

# Whether the window is a dialog (it names the window it belongs to).
is_dialog() { xprop -id "$1" WM_TRANSIENT_FOR 2>/dev/null | grep -q "window id"; }

# A value of the settings file.
setting() { sed -n "s/^$1=//p" "$QUILLNEST_HOME/settings.ini" | tr -d '\r'; }

# --- A message at start-up comes up above the main window and takes the keys ---
fresh_home missing
start "$T/docs/missing.q2db"
if wait_windows 2; then
  sleep 1
  shot missing-path
  top=$(top_window)
  [ -n "$top" ] && is_dialog "$top" &&
    ok "the message for a missing path is stacked above the main window" ||
    fail "the message for a missing path is not on top (stacking: $(stacking), top: $top)"
  # Enter as the user presses it: to whatever has the focus.
  xdotool key Return
  wait_windows_below 1 && ok "Enter answers the message for a missing path" ||
    fail "Enter did not answer the message for a missing path"
else
  fail "no message for a missing path"
fi
stop

# --- So does the converter for a document of the older format ---
fresh_home convert
cp "$OLD" "$T/docs/old.qudb"
start "$T/docs/old.qudb"
if wait_windows 2; then
  sleep 1
  shot converter
  top=$(top_window)
  [ -n "$top" ] && is_dialog "$top" &&
    case "$(xdotool getwindowname "$top")" in *onverter*) true ;; *) false ;; esac &&
    ok "the converter at start-up is stacked above the main window" ||
    fail "the converter at start-up is not on top (stacking: $(stacking), top: $top)"
else
  fail "no converter for a document of the older format"
fi
stop

# --- A stored splitter position survives a start and an exit ---
fresh_home sash
sed -i 's/^window=.*/window=100,100,900,600,500,0/' "$QUILLNEST_HOME/settings.ini"
grep -q '^window=100,100,900,600,500,0' "$QUILLNEST_HOME/settings.ini" ||
  echo 'window=100,100,900,600,500,0' >>"$QUILLNEST_HOME/settings.ini"
if start; then
  sleep 2
  shot sash
  xdotool key ctrl+q
  if wait_exit; then
    sash=$(setting window | cut -d, -f5)
    [ "$sash" = 500 ] && ok "the stored splitter position is kept through a start and an exit" ||
      fail "the splitter position came back as $sash, not 500 (window=$(setting window))"
  else
    fail "the program did not end on ctrl+Q"
  fi
fi
stop

# --- Alt+Left and Alt+Right go back and forward in the article history ---
"$CLI" new "$T/docs/history.q2db" >/dev/null
for title in Alpha Beta; do
  "$CLI" add "$T/docs/history.q2db" --parent 1 --title "$title" --body "$title body" >/dev/null
done
# The node the window shows, as its close stores it in the top node.
shown_node() {
  sqlite3 "$T/docs/history.q2db" "select cast(hdr as text) from block where id=1" |
    tr '\n' '|' | sed -n 's/.*grpsel=\([0-9]*\).*/\1/p'
}
fresh_home history
if start "$T/docs/history.q2db"; then
  sleep 1
  W=$(windows | head -1)
  # The top node's row, then Alpha and Beta; back to Alpha with Alt+Left.
  xdotool mousemove --window "$W" 120 125 click 1
  sleep 0.5
  xdotool key --delay 200 Right Down Down
  sleep 0.5
  xdotool key alt+Left
  sleep 0.5
  shot history-back
  xdotool key ctrl+q
  if wait_exit; then
    [ "$(shown_node)" = 2 ] && ok "Alt+Left goes back to the note shown before" ||
      fail "after Alt+Left the window showed node $(shown_node), not Alpha (2)"
  else
    fail "the program did not end on ctrl+Q"
  fi
fi
stop

exit $FAILED
