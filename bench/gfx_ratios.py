#!/usr/bin/env python3
"""The 2D workload side by side: nuv-gfx-bench (host/gfx over Cairo) against pycairo running
bench/peers/gfx_cairo.py, 10,000 rectangles and 10,000 stroked Béziers on 800x600, the best of N
runs of each pass. Debian installs python3-cairo for its own interpreter only, so the peer runs
under /usr/bin/python3 whatever python3 runs this script; without the module there the peer is
skipped and said to be. Nothing here is a test: a slow run reports, it never fails.

usage: bench/gfx_ratios.py [--runs N] [--driver PATH]
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PEER_PYTHON = "/usr/bin/python3"


def best_of(runs, command):
    best = {}
    for _ in range(runs):
        out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
        for line in out.split("\n"):
            if line:
                name, secs, checksum = line.split()
                if name not in best or float(secs) < best[name][0]:
                    best[name] = (float(secs), int(checksum))
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--driver", default=os.path.join(HERE, "..", "build", "bin", "nuv-gfx-bench"))
    args = parser.parse_args()
    ours = best_of(args.runs, [args.driver])
    try:
        has_peer = subprocess.run([PEER_PYTHON, "-c", "import cairo"], capture_output=True).returncode == 0
    except OSError:
        has_peer = False
    if not has_peer:
        print(f"peer skipped: {PEER_PYTHON} has no cairo module (scripts/setup installs python3-cairo)")
        theirs = {}
    else:
        print(f"peer: pycairo under {PEER_PYTHON}")
        theirs = best_of(args.runs, [PEER_PYTHON, os.path.join(HERE, "peers", "gfx_cairo.py")])
    print(f"800x600, 10,000 shapes a pass; best of {args.runs} runs, in-process times")
    print(f"{'pass':<12}{'ours s':>10}{'pycairo s':>11}{'ratio':>8}   checksums (ours / pycairo)")
    for name in ("rectangles", "beziers"):
        secs, sum_ours = ours[name]
        if name in theirs:
            peer, sum_theirs = theirs[name]
            print(f"{name:<12}{secs:>10.4f}{peer:>11.4f}{secs / peer:>8.2f}   {sum_ours} / {sum_theirs}")
        else:
            print(f"{name:<12}{secs:>10.4f}{'-':>11}{'-':>8}   {sum_ours}")


if __name__ == "__main__":
    sys.exit(main())
