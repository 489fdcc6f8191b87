#!/usr/bin/env python3
"""The layer check fails on what it must refuse and passes a sound tree."""

import os
import subprocess
import sys
import tempfile

CHECKER = os.path.join(os.path.dirname(__file__), "..", "..", "..", "scripts", "check_layers.py")


def run(files):
    with tempfile.TemporaryDirectory() as root:
        src = os.path.join(root, "src")
        for rel, text in files.items():
            path = os.path.join(src, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        done = subprocess.run([sys.executable, CHECKER, src], capture_output=True, text=True)
        return done.returncode, done.stdout


SOUND = {
    "store/database.h": "#pragma once\n",
    "ui/my_message.cpp": '#include "ui/my_message.h"\n#include "store/database.h"\n',
    "tree/tree_panel.cpp": '#include "ui/my_message.h"\n#include <wx/treectrl.h>\n',
    "frame/main_frame.cpp": '#include "tree/tree_panel.h"\n#include "article/article_window.h"\n',
    "tree/CMakeLists.txt": "qn_gui_library(tree DEPS qn_ui)\n",
    "frame/CMakeLists.txt": "# the main window\nqn_gui_library(frame CORE a.cpp\n  DEPS qn_tree qn_article_core)\n",
}

CASES = [
    # (name, extra files, text the report must hold)
    ("upward include", {"ui/quil_menu.cpp": '#include "frame/main_frame.h"\n'},
     'src/ui/quil_menu.cpp:1: includes frame/main_frame.h (higher layer'),
    ("peers", {"tree/tree_panel.h": '#pragma once\n#include "article/caption_bar.h"\n'},
     "src/tree/tree_panel.h:2: includes article/caption_bar.h (same layer"),
    ("circle", {"store/codec.cpp": '#include "app/ini_file.h"\n',
                "app/ini_file.cpp": '#include "store/database.h"\n'},
     "circle: app -> store -> app"),
    ("long file", {"frame/long.cpp": "int x;\n" * 901}, "src/frame/long.cpp: 901 lines"),
    ("library missing a link", {"tree/node_commands.cpp": '#include "objects/image_selector.h"\n'},
     "src/tree/CMakeLists.txt: includes objects/ but does not link qn_objects"),
    ("library linking too much", {"tree/CMakeLists.txt": "qn_gui_library(tree DEPS qn_ui qn_app)\n"},
     "src/tree/CMakeLists.txt: links qn_app but includes nothing of app/"),
    ("folder without a layer", {"gadgets/gadget.cpp": "int y;\n"}, "src/gadgets: folder has no layer"),
]


def main():
    failures = 0
    code, out = run(SOUND)
    if code != 0:
        print(f"sound tree refused:\n{out}")
        failures += 1
    code, out = run({**SOUND, "frame/exact.cpp": "int x;\n" * 900})
    if code != 0:
        print(f"a file of exactly 900 lines refused:\n{out}")
        failures += 1
    for name, extra, expected in CASES:
        code, out = run({**SOUND, **extra})
        if code == 0 or expected not in out:
            print(f"{name}: exit {code}, expected a report with {expected!r}, got:\n{out}")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
