#!/usr/bin/env python3
"""Times each workload of bench/peers in Nuv, Python 3 and Lua 5.4 and prints the ratios.

usage: bench/ratios.py [--runs N] [--paired] [--nuv PATH] [NAME ...]

Each program prints a checksum, which is checked against the table below before any time counts.
The time of a program is the best wall-clock time of N runs (default 3), start-up included.
With --paired the Nuv program and each twin run in turn (A B A B, after one warm-up pair), and the
ratio columns show the median of the per-pair ratios, which a machine's changing load moves far
less than it moves the best times.
Every workload NAME has a twin NAME_fresh, the same program whose own words are all names the
boot never made; both are timed (a NAME given alone runs its twin too), and the twin's row ends
with its Nuv time over the original's, which stays near 1 when a program's choice of names does
not change its speed.
A workload without a program for a language (money and dates have no Lua twin: Lua has no decimal
or calendar type; csv has none either: Lua has no CSV reader and writer; preprocess, the
preprocessor over a large block, has no twin at all) shows "-" there; json_write, to-json
beside json.dumps, has no Lua twin either (Lua has no JSON writer) and no goal. The
reactivity twins are observers written by hand: a setter that runs the relations watching
the field. draw, the draw dialect into an 800x600 image beside pycairo on an image surface, has
no Lua twin (Lua has no 2D graphics library). Nothing here is a test: a slow run reports, it never fails the build.
"""
import argparse
import os
import statistics
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
    "map": "1000000 499999500000 100000",
    "money": {"nuv": "$1234560.00000", "python": "1234560.00000"},
    "dates": "4000003 4737",
    "deflate": "888894 888894 -911638369 817371221",
    "pattern": "76011 50558 237690 9476155",
    "split": "146251 9854200",
    "reactivity": "200000",
    "preprocess": "80000 140000",
    "replace": "10000450 9999969 0",
    "csv": "200000 7941045 9791907",
    "json": "87622 3838763631 175419",
    "json_write": {"nuv": "19572366", "python": "19539477"},
    "draw": "10000 10000 1000 100",
}

# Workloads that read the peers' generated data find it here; it is written once when missing.
DATA = "/tmp/nuv-bench-data"
GENERATOR = os.path.join(HERE, "..", "..", "shared", "bench-peers", "gen_data.py")
NEEDS_DATA = {"pattern", "split", "replace"}
# Workloads whose data a script of ours writes into DATA once: the script and the file it writes.
OWN_DATA = {"csv": ("csv_data.py", "rows.csv")}
NEEDS_DATA = {"pattern", "split", "json", "json_write"}


TWIN = "_fresh"


def checksum(name, label):
    wanted = CHECKSUMS[name.removesuffix(TWIN)]
    return wanted[label] if isinstance(wanted, dict) else wanted


def same_number(got, wanted):
    """The same numbers, word by word: a sum that Nuv keeps as a float prints with its ".0"."""
    got_words, wanted_words = got.split(), wanted.split()
    if len(got_words) != len(wanted_words):
        return False
    for g, w in zip(got_words, wanted_words):
        try:
            if float(g) != float(w):
                return False
        except ValueError:
            if g != w:
                return False
    return True


def one_time(command, wanted):
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    out = done.stdout.strip()
    if done.returncode != 0 or not same_number(out, wanted):
        return None, f"wrong output ({done.returncode}): {out[:60]!r} {done.stderr[:60]!r}"
    return elapsed, None


def best_time(command, wanted, runs):
    best = None
    for _ in range(runs):
        elapsed, problem = one_time(command, wanted)
        if problem:
            return None, problem
        best = elapsed if best is None else min(best, elapsed)
    return best, None


def paired_times(programs, runs):
    """programs: label -> (command, wanted), "nuv" among them. Runs Nuv and each twin in turn
    after one warm-up pair; answers the best time of each label, the median of the per-pair
    ratios nuv/twin of each twin label, and the problems met."""
    best, ratios, problems = {}, {}, {}
    peers = [label for label in programs if label != "nuv"]
    for round_ in range(runs + 1):
        for peer in peers:
            pair = {}
            for label in ("nuv", peer):
                if label in problems:
                    continue
                elapsed, problem = one_time(*programs[label])
                if problem:
                    problems[label] = problem
                    continue
                pair[label] = elapsed
                if round_:
                    best[label] = min(best.get(label, elapsed), elapsed)
            if round_ and len(pair) == 2:
                ratios.setdefault(peer, []).append(pair["nuv"] / pair[peer])
    return best, {peer: statistics.median(r) for peer, r in ratios.items()}, problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--paired", action="store_true")
    parser.add_argument("--nuv", default=os.path.join(HERE, "..", "build", "bin", "nuv-run"))
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else shutil.which("python3")
    lua = shutil.which("lua5.4")
    runners = [("nuv", [args.nuv], ".nuv"), ("python", [python], ".py")]
    if lua:
        runners.append(("lua", [lua], ".lua"))
    bases = [name.removesuffix(TWIN) for name in args.names] or sorted(CHECKSUMS)
    unknown = [base for base in bases if base not in CHECKSUMS]
    if unknown:
        parser.error(f"no such workload: {', '.join(unknown)}")
    names = [name for base in dict.fromkeys(bases) for name in (base, base + TWIN)]
    if NEEDS_DATA & set(bases) and not os.path.exists(os.path.join(DATA, "src.txt")):
        os.makedirs(DATA, exist_ok=True)
        subprocess.run([python, GENERATOR, DATA], check=True, capture_output=True)
    for base in set(bases) & set(OWN_DATA):
        script, written = OWN_DATA[base]
        if not os.path.exists(os.path.join(DATA, written)):
            subprocess.run([python, os.path.join(HERE, script), DATA], check=True)
    nuv_times = {}
    print(f"{'workload':19} " + " ".join(f"{r[0]:>9}" for r in runners)
          + "  nuv/python" + ("  nuv/lua" if lua else "") + "  fresh/orig")
    for name in names:
        times = {label: None for label, _, _ in runners}  # None: a language with no twin
        programs = {label: (command + [os.path.join(PEERS, name + suffix)], checksum(name, label))
                    for label, command, suffix in runners
                    if os.path.exists(os.path.join(PEERS, name + suffix))}
        medians = {}
        if args.paired and "nuv" in programs:
            best, medians, problems = paired_times(programs, args.runs)
            times.update(best)
            for label, problem in problems.items():
                print(f"{name}: {label}: {problem}", file=sys.stderr)
        else:
            for label, program in programs.items():
                t, problem = best_time(*program, args.runs)
                if problem:
                    print(f"{name}: {label}: {problem}", file=sys.stderr)
                times[label] = t
        nuv_times[name] = times.get("nuv")
        cells = " ".join(f"{times[r[0]]:9.3f}" if times[r[0]] else f"{'-':>9}" for r in runners)

        def ratio(peer):
            if args.paired:
                return f"{medians[peer]:10.2f}" if peer in medians else f"{'-':>10}"
            return (f"{times['nuv'] / times[peer]:10.2f}"
                    if times.get("nuv") and times.get(peer) else f"{'-':>10}")
        original = nuv_times.get(name.removesuffix(TWIN)) if name.endswith(TWIN) else None
        twin = f" {nuv_times[name] / original:11.2f}" if original and nuv_times[name] else ""
        print(f"{name:19} {cells}  {ratio('python')}" + (f" {ratio('lua')}" if lua else "") + twin)
    # calls_return is calls with a function that ends with `return`: their ratio is the cost of
    # leaving a function by return rather than by its last value.
    for suffix in ("", TWIN):
        calls, returns = nuv_times.get("calls" + suffix), nuv_times.get("calls_return" + suffix)
        if calls and returns:
            print(f"nuv return cost (calls_return{suffix} / calls{suffix}): {returns / calls:.2f}")


if __name__ == "__main__":
    main()
