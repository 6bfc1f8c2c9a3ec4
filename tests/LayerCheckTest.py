#!/usr/bin/env python3
"""The layer check itself: a wrong include in a temporary tree fails it, a right one passes."""
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts", "check-layers.py")


def run(tree):
    with tempfile.TemporaryDirectory() as root:
        for path, text in tree.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write(text)
        return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


cases = [
    ("core includes a window", {"core/A.cpp": '#include "ui/B.h"\n', "ui/B.h": ""}, 1),
    ("link includes the shell", {"link/A.h": '#include "shell/Main.h"\n'}, 1),
    ("drive simulator includes core", {"tools/drivesim/S.cpp": '#include "core/X.h"\n'}, 1),
    ("report includes the table beside it", {"report/A.cpp": '#include "table/T.h"\n'}, 1),
    ("platform test includes link", {"tests/platform/T.cpp": '#include "link/CommLink.h"\n'}, 1),
    ("every include points down", {"ui/W.cpp": '#include "core/X.h"\n#include "table/T.h"\n',
                                   "tests/link/T.cpp": '#include "support/F.h"\n#include "core/X.h"\n'}, 0),
]
failed = 0
for name, tree, expected in cases:
    result = run(tree)
    ok = result.returncode == expected
    failed += not ok
    print(f"{'ok' if ok else 'FAILED'}: {name} (exit {result.returncode}, expected {expected})")
    if not ok:
        print(result.stdout, result.stderr)
sys.exit(1 if failed else 0)
