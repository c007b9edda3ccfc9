#!/usr/bin/env python3
"""Times each workload of bench/peers in Nuv, Python 3 and Lua 5.4 and prints the ratios.

usage: bench/ratios.py [--runs N] [--nuv PATH] [NAME ...]

Each program prints a checksum, which is checked against the table below before any time counts.
The time of a program is the best wall-clock time of N runs (default 3), start-up included.
Nothing here is a test: a slow run reports, it never fails the build.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "peers")

# A checksum is one text, or a table by runner where the languages' own text forms differ (the
# shortest round-trip text of a float is written differently by each).
CHECKSUMS = {
    "fib": "832040",
    "loop": "49999995000000",
    "calls": "1000000",
    "calls_return": "1000000",
    "sort": "71 1073574452 2147482932",
    "strcat": "10888890",
    "floatfmt": {"nuv": "19594445", "python": "19620168", "lua": "19553421"},
    "gc": "1000000",
}


def checksum(name, label):
    wanted = CHECKSUMS[name]
    return wanted[label] if isinstance(wanted, dict) else wanted


def same_number(got, wanted):
    try:
        return float(got) == float(wanted)
    except ValueError:
        return got == wanted


def best_time(command, wanted, runs):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        done = subprocess.run(command, capture_output=True, text=True)
        elapsed = time.perf_counter() - start
        out = done.stdout.strip()
        if done.returncode != 0 or not same_number(out, wanted):
            return None, f"wrong output ({done.returncode}): {out[:60]!r} {done.stderr[:60]!r}"
        best = elapsed if best is None else min(best, elapsed)
    return best, None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--nuv", default=os.path.join(HERE, "..", "build", "bin", "nuv-run"))
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else shutil.which("python3")
    lua = shutil.which("lua5.4")
    runners = [("nuv", [args.nuv], ".nuv"), ("python", [python], ".py")]
    if lua:
        runners.append(("lua", [lua], ".lua"))
    names = args.names or sorted(CHECKSUMS)
    nuv_times = {}
    print(f"{'workload':13} " + " ".join(f"{r[0]:>9}" for r in runners)
          + "  nuv/python" + ("  nuv/lua" if lua else ""))
    for name in names:
        times = {}
        for label, command, suffix in runners:
            t, problem = best_time(command + [os.path.join(PEERS, name + suffix)],
                                   checksum(name, label), args.runs)
            if problem:
                print(f"{name}: {label}: {problem}", file=sys.stderr)
            times[label] = t
        nuv_times[name] = times.get("nuv")
        cells = " ".join(f"{times[r[0]]:9.3f}" if times[r[0]] else f"{'-':>9}" for r in runners)
        ratio = lambda peer: (f"{times['nuv'] / times[peer]:10.2f}"
                              if times.get("nuv") and times.get(peer) else f"{'-':>10}")
        print(f"{name:13} {cells}  {ratio('python')}" + (f" {ratio('lua')}" if lua else ""))
    # calls_return is calls with a function that ends with `return`: their ratio is the cost of
    # leaving a function by return rather than by its last value.
    if nuv_times.get("calls") and nuv_times.get("calls_return"):
        print(f"nuv return cost (calls_return / calls): "
              f"{nuv_times['calls_return'] / nuv_times['calls']:.2f}")


if __name__ == "__main__":
    main()
