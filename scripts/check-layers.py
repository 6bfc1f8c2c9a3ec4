#!/usr/bin/env python3
"""Fails on an include that points back up the layers.

The libraries depend one way only:
    platform, protocol -> core -> link -> table, monitor -> report -> ui -> shell
A file may include headers of its own folder and of the layers below it that
cmake/layers.txt allows it; the build gives each library the same include folders, so an
include that points up or sideways does not compile either. A test folder may include what
its library may, plus the shared test helpers and the simulated drive.

Usage: check-layers.py [ROOT]   (ROOT defaults to the repository holding this script)
"""
import os
import re
import sys

# What each folder may include besides itself: cmake/layers.txt, the table the build reads too.
TABLE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "cmake", "layers.txt")


def read_table(path):
    below = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"([a-z]+):(.*)", line)
            if m:
                below[m.group(1)] = set(m.group(2).split())
    return below


BELOW = read_table(TABLE)
LAYERS = set(BELOW)
TEST_EXTRA = {"support", "tools"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE = (".cpp", ".h")


def allowed_for(parts):
    """The set of top folders a file at path `parts` may include, or None if unchecked."""
    top = parts[0]
    if top in BELOW:
        return BELOW[top] | {top}
    if top == "tests" and len(parts) > 2:
        lib = parts[1]
        if lib == "data":
            lib = "core"
        if lib in BELOW:
            return BELOW[lib] | {lib} | TEST_EXTRA
    return None


def check(root):
    problems = []
    for dirpath, dirnames, filenames in os.walk(root):
        rel_dir = os.path.relpath(dirpath, root)
        parts_dir = [] if rel_dir == "." else rel_dir.split(os.sep)
        if parts_dir and (parts_dir[0].startswith(".") or parts_dir[0].startswith("build")):
            dirnames[:] = []
            continue
        for name in filenames:
            if not name.endswith(SOURCE):
                continue
            parts = parts_dir + [name]
            allowed = allowed_for(parts)
            if allowed is None:
                continue
            path = os.path.join(dirpath, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for m in INCLUDE.finditer(text):
                target = m.group(1).split("/")
                if len(target) < 2:
                    continue  # a header beside the file
                top = target[0]
                if top in LAYERS and top not in allowed:
                    line = text.count("\n", 0, m.start()) + 1
                    problems.append(f"{'/'.join(parts)}:{line}: includes {m.group(1)}, a layer above or beside it")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) point up or sideways")
        return 1
    print("layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
