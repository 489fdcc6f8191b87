#!/usr/bin/env python3
"""Checks the layers of src/ from the `#include "..."` lines.

Every folder of src/ sits in a layer (the picture in README.md).  A file may
include headers of its own folder and of folders in lower layers only: an
include into the same layer or a higher one fails, and so does any circle
between folders.  No file in src/ may be longer than MAX_LINES lines.  A
folder built by qn_gui_library() links (DEPS) exactly the folders it
includes, the store aside (every library links it).

Usage: check_layers.py <src-dir>      exit status 0 when all holds, 1 otherwise
"""

import os
import re
import sys

# Lower numbers are lower layers.  A new folder gets its place here.
LAYERS = {
    "store": 0,    # the document engine: no window code
    "app": 1,      # settings, paths, text constants, file lists
    "ui": 2,       # what every window uses
    "objects": 3,  # image selection dialogs, the object manager
    "backup": 3,   # backup copies of documents, the Open backup dialog
    "convert": 3,  # the converter of documents of the older format
    "goto": 3,     # go to a note by its title
    "search": 3,   # the Find and Replace dialogs and their history
    "article": 4,  # article, caption bar, floating windows
    "tree": 4,     # navigation tree and category bar
    "diary": 5,
    "find": 5,     # the Find and Replace commands, the search list
    "prefs": 5,
    "frame": 6,    # the main window, its commands, the window registry
    "desktop": 7,  # the application object
    "cli": 7,      # the command-line tool
}
MAX_LINES = 900
SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
GUI_LIBRARY = re.compile(r"qn_gui_library\(\s*(\w+)([^)]*)\)", re.S)
KEYWORDS = {"CORE", "CORE_DEPS", "DEPS"}


def declared_deps(cmake_text):
    """The folders named after DEPS in the folder's qn_gui_library(), or None."""
    m = GUI_LIBRARY.search(cmake_text)
    if not m:
        return None
    words = re.sub(r"#[^\n]*", "", m.group(2)).split()
    deps, inside = set(), False
    for w in words:
        if w in KEYWORDS:
            inside = w == "DEPS"
        elif inside:
            deps.add(re.sub(r"_core$", "", w[3:] if w.startswith("qn_") else w))
    return deps


def find_cycle(graph):
    """One circle in the folder graph as a list of folders, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def check(src):
    problems = []
    graph = {}
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        files = [f for f in sorted(os.listdir(path)) if f.endswith(SOURCE_SUFFIXES)]
        if files and folder not in LAYERS:
            problems.append(f"src/{folder}: folder has no layer (add it to LAYERS in {sys.argv[0]})")
            continue
        for name in files:
            rel = f"src/{folder}/{name}"
            with open(os.path.join(path, name), encoding="utf-8", errors="replace") as f:
                lines = f.read().split("\n")
            if lines and lines[-1] == "":
                lines.pop()
            if len(lines) > MAX_LINES:
                problems.append(f"{rel}: {len(lines)} lines, more than {MAX_LINES}")
            for number, line in enumerate(lines, 1):
                m = INCLUDE.match(line)
                if not m or "/" not in m.group(1):
                    continue
                target = m.group(1).split("/", 1)[0]
                if target == folder:
                    continue
                if target not in LAYERS:
                    if os.path.isdir(os.path.join(src, target)):
                        problems.append(f"{rel}:{number}: includes {m.group(1)} from a folder without a layer")
                    continue
                graph.setdefault(folder, set()).add(target)
                if LAYERS[target] >= LAYERS[folder]:
                    kind = "same layer" if LAYERS[target] == LAYERS[folder] else "higher layer"
                    problems.append(f"{rel}:{number}: includes {m.group(1)} ({kind}: "
                                    f"{folder} is {LAYERS[folder]}, {target} is {LAYERS[target]})")
    for folder in sorted(os.listdir(src)):
        cmake = os.path.join(src, folder, "CMakeLists.txt")
        if folder not in LAYERS or not os.path.isfile(cmake):
            continue
        with open(cmake, encoding="utf-8") as f:
            deps = declared_deps(f.read())
        if deps is None:
            continue
        used = graph.get(folder, set()) - {"store"}
        for missing in sorted(used - deps):
            problems.append(f"src/{folder}/CMakeLists.txt: includes {missing}/ but does not link qn_{missing}")
        for extra in sorted(deps - used):
            problems.append(f"src/{folder}/CMakeLists.txt: links qn_{extra} but includes nothing of {extra}/")
    cycle = find_cycle(graph)
    if cycle:
        problems.append("folders include each other in a circle: " + " -> ".join(cycle))
    return problems


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    problems = check(sys.argv[1])
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
