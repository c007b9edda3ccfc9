#!/usr/bin/env python3
"""Fails on any include that reaches from a lower layer into a higher one.

Layers, lowest first: the core (runtime/) with the datatypes (runtime/datatypes/), whose
services work over each other's storage and so include each other; the syntax layer
(runtime/syntax/); the evaluator (runtime/evaluator/); the platform services
(runtime/platform/); the library's C++ routines (library/); the GUI backend (gui/backend/);
the draw engine (gui/draw/). host/ stands beside them and includes no runtime/ header.
A lower layer reaches a higher one only through the hooks of runtime/hooks.h. Composition roots
(runtime/runtime.cpp, which starts every layer, and boot/, tools/, tests/, bench/) may include
anything. The start-up header runtime/runtime.h belongs to the composition roots: no other file
under runtime/, library/ or gui/ includes it (the root block and the start-up switches are
runtime/roots.h).

Usage: layers.py [ROOT]   (ROOT defaults to the repository holding this script)
"""
import os
import re
import sys

LAYERS = [
    ("runtime/datatypes/", 0),
    ("runtime/syntax/", 2),
    ("runtime/evaluator/", 3),
    ("runtime/platform/", 4),
    ("runtime/", 0),
    ("library/", 5),
    ("gui/backend/", 6),
    ("gui/draw/", 7),
]
COMPOSITION_ROOTS = ("runtime/runtime.cpp",)
ROOT_HEADER = "runtime/runtime.h"
CHECKED = ("runtime/", "library/", "gui/", "host/")
SOURCE = re.compile(r"\.(h|hpp|cpp|inc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    for prefix, rank in LAYERS:
        if path.startswith(prefix):
            return rank
    return None


def violations(root):
    found = []
    for top in CHECKED:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not SOURCE.search(name):
                    continue
                full = os.path.join(folder, name)
                path = os.path.relpath(full, root).replace(os.sep, "/")
                if path in COMPOSITION_ROOTS:
                    continue
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1)
                        if path.startswith("host/"):
                            if target.startswith(("runtime/", "library/", "gui/")):
                                found.append(f"{path}:{number}: host/ includes {target}")
                            continue
                        if target == ROOT_HEADER:
                            found.append(f"{path}:{number}: includes {target}, the composition root's header")
                            continue
                        own, theirs = layer_of(path), layer_of(target)
                        if own is not None and theirs is not None and theirs > own:
                            found.append(f"{path}:{number}: includes {target} from a higher layer")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) reach upward; go through a hook in runtime/hooks.h"
              " (the root block is runtime/roots.h)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
