#!/usr/bin/env python3
"""Fails on an include that points back up the layers.

The libraries depend one way only:
    platform, protocol -> core -> link -> table, monitor -> report -> ui -> shell
A file may include headers of its own folder and of the layers below it. The simulated
drive sees only platform and protocol. A test folder may include what its library may,
plus the shared test helpers and the simulated drive.

Usage: check-layers.py [ROOT]   (ROOT defaults to the repository holding this script)
"""
import os
import re
import sys

# What each folder may include besides itself.
BELOW = {
    "platform": set(),
    "protocol": set(),
    "core": {"platform"},
    "link": {"platform", "protocol", "core"},
    "table": {"platform", "protocol", "core", "link"},
    "monitor": {"platform", "protocol", "core", "link"},
    "report": {"platform", "protocol", "core", "link", "table", "monitor"},
    "ui": {"platform", "protocol", "core", "link", "table", "monitor", "report"},
    "shell": {"platform", "protocol", "core", "link", "table", "monitor", "report", "ui"},
    "tools": {"platform", "protocol"},
}
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
                    problems.append(f"{'/'.join(parts)}:{line}: includes {m.group(1)}, a layer above it")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) point back up the layers")
        return 1
    print("layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
