#!/usr/bin/env python3
"""The rules of layers.py on small trees: each case writes one file with one include and checks
whether layers.py reports it (and with which text)."""
import os
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import layers  # noqa: E402

# (file, include, the report's tail, or None when the include is allowed)
CASES = [
    ("runtime/memory.cpp", "runtime/runtime.h", "includes runtime/runtime.h, the composition root's header"),
    ("runtime/datatypes/word.cpp", "runtime/runtime.h", "includes runtime/runtime.h, the composition root's header"),
    ("runtime/evaluator/routines.h", "runtime/runtime.h", "includes runtime/runtime.h, the composition root's header"),
    ("library/json.cpp", "runtime/runtime.h", "includes runtime/runtime.h, the composition root's header"),
    ("gui/backend/loop.cpp", "runtime/runtime.h", "includes runtime/runtime.h, the composition root's header"),
    ("runtime/runtime.cpp", "runtime/runtime.h", None),
    ("runtime/datatypes/word.cpp", "runtime/roots.h", None),
    ("runtime/datatypes/block.cpp", "runtime/evaluator/units.h", "includes runtime/evaluator/units.h from a higher layer"),
    ("runtime/evaluator/units.cpp", "runtime/datatypes/block.h", None),
    ("host/gfx/path.cpp", "runtime/roots.h", "host/ includes runtime/roots.h"),
]


def main():
    failures = 0
    for path, target, expected in CASES:
        with tempfile.TemporaryDirectory() as root:
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full))
            with open(full, "w", encoding="utf-8") as f:
                f.write(f'// a fixture\n#include "{target}"\n')
            found = layers.violations(root)
            want = [] if expected is None else [f"{path}:2: {expected}"]
            if found != want:
                failures += 1
                print(f"{path} including {target}: expected {want}, found {found}")
    print(f"{len(CASES) - failures} of {len(CASES)} cases pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
