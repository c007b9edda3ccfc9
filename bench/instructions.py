#!/usr/bin/env python3
"""Counts the machine instructions per unit of work of Nuv, Python 3 and Lua 5.4, under callgrind.

usage: bench/instructions.py [--nuv PATH] [--eval MODE] [--jobs N] [NAME ...]

Each workload of bench/callgrind runs once per language under `valgrind --tool=callgrind`; its
instruction count (Ir) less that of the language's empty script (start-up and exit) is divided
by the units of work the program does:

    fib            fib 25: 242,785 calls of fib
    fib_parens     the same, both calls in parens: `(fib n - 1) + (fib n - 2)`
    fib_return     the same, leaving early: `if n < 2 [return n] (fib n - 1) + (fib n - 2)`
    calls          100,000 calls of `step: func [x] [x + 1]`
    calls_return   100,000 calls of `step: func [x] [return x + 1]`
    loop           1,000,000 rounds of `while [i < n] [s: s + i i: i + 1]`

Every workload NAME has a twin NAME_fresh, the same program whose own words are all names the
boot never made; both run (a NAME given alone runs its twin too). Each program prints a checksum,
checked before its count is used. Instruction counts do not depend on the machine's load, so one
run is enough, and they follow time closely enough to compare engines and stages of one engine.

Nuv runs as build/bin/nuv-run of the normal build (a sanitized or Debug build counts something
else; the build type is printed). `--eval` sets NUV_EVAL for the Nuv runs (interp, lazy or
eager); otherwise the environment's setting, or the default, holds.
Nothing here is a test: the table reports, it never fails the build.
"""
import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

from ratios import TWIN, same_number

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "callgrind")
EMPTY = "empty"

# Units of work and checksum by workload.
WORKLOADS = {
    "fib": (242_785, "75025"),
    "fib_parens": (242_785, "75025"),
    "fib_return": (242_785, "75025"),
    "calls": (100_000, "100000"),
    "calls_return": (100_000, "100000"),
    "loop": (1_000_000, "499999500000"),
}


def runners(nuv):
    # The interpreter itself, not a wrapper script in front of it: callgrind follows no exec.
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else shutil.which("python3")
    lua = shutil.which("lua5.4")
    found = [("nuv", nuv, ".nuv"), ("python", python, ".py"), ("lua", lua, ".lua")]
    return [(label, os.path.realpath(program), suffix) for label, program, suffix in found if program]


def instructions(program, script, env, wanted):
    """The Ir count of one run, or the problem that made it unusable."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "callgrind.out")
        done = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                               program, script], capture_output=True, text=True, env=env)
        printed = done.stdout.strip()
        if done.returncode != 0 or (wanted is not None and not same_number(printed, wanted)):
            return None, f"wrong output ({done.returncode}): {printed[:60]!r} {done.stderr[-200:]!r}"
        with open(out) as data:
            for line in data:
                if line.startswith("summary:") or line.startswith("totals:"):
                    return int(line.split()[1]), None
    return None, "no summary in the callgrind output"


def build_type(nuv):
    cache = os.path.join(os.path.dirname(os.path.realpath(nuv)), "..", "CMakeCache.txt")
    settings = {}
    if os.path.exists(cache):
        with open(cache) as text:
            for line in text:
                found = re.match(r"(CMAKE_BUILD_TYPE|NUV_SANITIZE|NUV_FUZZ):\w+=(.*)", line)
                if found:
                    settings[found[1]] = found[2].strip()
    kind = settings.get("CMAKE_BUILD_TYPE") or "the project's default build type"
    if settings.get("NUV_SANITIZE") == "ON" or settings.get("NUV_FUZZ") == "ON":
        kind += ", sanitized: not the build to measure"
    return kind


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nuv", default=os.path.normpath(os.path.join(HERE, "..", "build", "bin", "nuv-run")))
    parser.add_argument("--eval", choices=["interp", "lazy", "eager"])
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    if not shutil.which("valgrind"):
        sys.exit("valgrind is not installed (apt-get install valgrind)")
    bases = [name.removesuffix(TWIN) for name in args.names] or list(WORKLOADS)
    unknown = [base for base in bases if base not in WORKLOADS]
    if unknown:
        parser.error(f"no such workload: {', '.join(unknown)}")
    names = [name for base in dict.fromkeys(bases) for name in (base, base + TWIN)]
    env = dict(os.environ, PYTHONHASHSEED="0")
    if args.eval:
        env["NUV_EVAL"] = args.eval
    langs = runners(args.nuv)

    jobs = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for label, program, suffix in langs:
            for name in [EMPTY] + names:
                wanted = None if name == EMPTY else WORKLOADS[name.removesuffix(TWIN)][1]
                script = os.path.join(SCRIPTS, name + suffix)
                jobs[label, name] = pool.submit(instructions, program, script, env, wanted)
    counts = {}
    for (label, name), job in jobs.items():
        count, problem = job.result()
        if problem:
            print(f"{name}: {label}: {problem}", file=sys.stderr)
        counts[label, name] = count

    labels = [label for label, _, _ in langs]
    print(f"nuv: {args.nuv} ({build_type(args.nuv)}), NUV_EVAL={env.get('NUV_EVAL', 'default')}")
    print("start-up: " + ", ".join(f"{label} {counts[label, EMPTY]:,}" for label in labels
                                   if counts[label, EMPTY] is not None))
    print("instructions per unit of work, start-up subtracted")
    print(f"{'workload':19} " + " ".join(f"{label:>9}" for label in labels)
          + "".join(f"  nuv/{label:6}" for label in labels[1:]) + "  fresh/orig")
    per_unit = {}
    for name in names:
        units = WORKLOADS[name.removesuffix(TWIN)][0]
        row = {}
        for label in labels:
            count, empty = counts[label, name], counts[label, EMPTY]
            row[label] = (count - empty) / units if count is not None and empty is not None else None
        per_unit[name] = row
        cells = " ".join(f"{row[label]:9,.0f}" if row[label] else f"{'-':>9}" for label in labels)
        ratios = "".join(f"  {row['nuv'] / row[label]:10.2f}" if row["nuv"] and row[label]
                         else f"  {'-':>10}" for label in labels[1:])
        original = per_unit.get(name.removesuffix(TWIN), {}).get("nuv") if name.endswith(TWIN) else None
        twin = f"  {row['nuv'] / original:10.2f}" if original and row["nuv"] else ""
        print(f"{name:19} {cells}{ratios}{twin}")


if __name__ == "__main__":
    main()
