#!/usr/bin/env python3
"""Times the start-up of the runner: `nuv-run -e ""`, the whole process, best of N runs.

usage: bench/startup.py [--runs N] [--nuv PATH]

Prints the best wall-clock time in milliseconds, plainly and under NUV_GC_STRESS=1 (a collection
and a move of every buffer before each allocation, so that figure weighs what start-up
allocates). Nothing here is a test: a slow start reports, it never fails the build.
"""
import argparse
import os
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def best_ms(nuv, runs, env):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run([nuv, "-e", ""], env=env, check=True, stdout=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best * 1000.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--nuv", default=os.path.join(HERE, "..", "build", "bin", "nuv-run"))
    args = parser.parse_args()
    plain = dict(os.environ)
    plain.pop("NUV_GC_STRESS", None)
    stress = dict(plain, NUV_GC_STRESS="1")
    print(f"start-up, best of {args.runs}: {best_ms(args.nuv, args.runs, plain):.2f} ms plain, "
          f"{best_ms(args.nuv, args.runs, stress):.2f} ms under NUV_GC_STRESS=1")


if __name__ == "__main__":
    main()
