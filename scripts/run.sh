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
cmake --build "$BUILD" --target quillnest quillnest-cli qn_data -j"$(nproc)"

EXE="$BUILD/src/app/quillnest"
CLI="$BUILD/src/cli/quillnest-cli"

# The sample document, made once with the command-line tool.
make_sample() {
    local doc="$1" tmp="$1.tmp.q2db" root notes ideas
    rm -f "$tmp"
    "$CLI" new "$tmp" >/dev/null
    add() { "$CLI" add "$tmp" "$@"; }
    root=$(add --parent 1 --title "Welcome to Quillnest" --body "$(cat <<'EOF'
Quillnest keeps your notes as a tree in one document file.

- Each node has a title, an icon and an article: plain text or HTML.
- Select a node on the left to read or edit its article on the right.
- Right-click a node for new, move, rename, icon, font and colour commands;
  the small toolbar above the tree does the most common ones.
- File > Password protects the whole document with a password.
- Search > Find looks through one article or, with "all nodes", the whole
  document.
- Drag a node onto the category bar (View > Split navigation) to make it a
  category of its own.
EOF
)")
    add --parent "$root" --title "An HTML note" --html --body "$(cat <<'EOF'
<h2>HTML articles</h2>
<p>An article can be <b>HTML</b>: it is shown rendered, with <i>styles</i>,
lists and tables. The button at the right of the caption bar switches
between the page and its source.</p>
<ul><li>Links to other nodes: <a href="file:*1">the top node</a></li>
<li>Links to files and web pages open with the desktop's program.</li></ul>
<table border="1" cellpadding="4"><tr><th>Node</th><th>Kind</th></tr>
<tr><td>Welcome</td><td>plain text</td></tr>
<tr><td>This one</td><td>HTML</td></tr></table>
EOF
)" >/dev/null
    notes=$(add --parent 1 --title "Projects" --body "Notes for work in progress.")
    add --parent "$notes" --title "Garden" --body "$(printf 'Plant tomatoes in May.\nOrder seeds: basil, parsley, chives.\n')" >/dev/null
    add --parent "$notes" --title "Reading list" --body "$(printf '1. A book about trees\n2. A book about notes\n')" >/dev/null
    ideas=$(add --parent 1 --title "Ideas" --body "Anything worth keeping.")
    add --parent "$ideas" --title "Holiday" --body "Train to the coast; pack light." >/dev/null
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
