#!/usr/bin/env bash
# Sets up, builds and starts the desktop program:
#   scripts/run.sh [DOCUMENT]
# Without a document it opens a sample document that shows what the program
# can do. Without a display it runs the program under Xvfb, saves a
# screenshot after a few seconds, prints where it is and ends the program.
#
# Environment: QN_BUILD_DIR (build folder, default build/), QN_SHOT (where
# the screenshot goes), QN_SHOT_DELAY (seconds before it is taken, default 4).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QN_BUILD_DIR:-$ROOT/build}"

"$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target quillnest quillnest-cli qn_helpdoc qn_data -j"$(nproc)"

EXE="$BUILD/src/desktop/quillnest"
CLI="$BUILD/src/cli/quillnest-cli"
HELPDOC="$BUILD/tools/helpdoc/qn_helpdoc"

# The sample document, made once: the outline scripts/sample.txt, plus an
# HTML note added with the command-line tool.
make_sample() {
    local doc="$1" tmp="$1.tmp.q2db"
    rm -f "$tmp"
    "$HELPDOC" "$ROOT/scripts/sample.txt" "$tmp"
    "$CLI" add "$tmp" --parent 1 --title "An HTML note" --html \
        --body-file "$ROOT/scripts/sample_note.html" >/dev/null
    mv "$tmp" "$doc"
}

DOC="${1:-}"
if [ -z "$DOC" ]; then
    DOC="$BUILD/sample/Sample.q2db"
    if [ ! -f "$DOC" ]; then
        mkdir -p "$(dirname "$DOC")"
        make_sample "$DOC"
    fi
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$EXE" "$DOC"
fi

# No display: show that it works on a virtual one.
SHOT="${QN_SHOT:-$ROOT/shots/quillnest.png}"
DELAY="${QN_SHOT_DELAY:-4}"
mkdir -p "$(dirname "$SHOT")"
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11
export QN_EXE="$EXE" QN_DOC="$DOC" QN_SHOT_FILE="$SHOT" QN_DELAY="$DELAY"
xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash -c '
    "$QN_EXE" "$QN_DOC" &
    pid=$!
    sleep "$QN_DELAY"
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" || true
        echo "run: the program ended before the screenshot was taken" >&2
        exit 1
    fi
    /usr/bin/import -window root "$QN_SHOT_FILE"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
'
echo "No display: the program ran under Xvfb; screenshot: $SHOT"
