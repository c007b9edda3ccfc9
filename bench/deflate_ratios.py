#!/usr/bin/env python3
"""The deflate workload side by side: our encoder and decoder (zlib framing), CRC-32 and
Adler-32, run by the C++ driver nuv-deflate-bench, against Python's zlib at level 6 (the peer
workload) on the same file, each step timed in-process and its best of N runs kept. Sizes are set
beside zlib's levels 1 and 6: our encoder writes one fixed-Huffman block, so its size is that of
such a block, not of a tuned encoder. Nothing here is a test: a slow run reports, it never fails.

usage: bench/deflate_ratios.py [--runs N] [--driver PATH] FILE
FILE is the peer workload's mixed.bin (its gen_data.py writes it).
"""
import argparse
import os
import subprocess
import sys
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def best(runs, work):
    times = []
    result = None
    for _ in range(runs):
        start = time.perf_counter()
        result = work()
        times.append(time.perf_counter() - start)
    return min(times), result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--driver", default=os.path.join(HERE, "..", "build", "bin", "nuv-deflate-bench"))
    parser.add_argument("file")
    args = parser.parse_args()
    with open(args.file, "rb") as f:
        data = f.read()

    ours = {}
    for _ in range(args.runs):
        out = subprocess.run([args.driver, args.file], capture_output=True, text=True, check=True).stdout
        for line in out.split("\n"):
            if line:
                step, secs, value = line.split()
                if step not in ours or float(secs) < ours[step][0]:
                    ours[step] = (float(secs), int(value))

    t_c6, packed6 = best(args.runs, lambda: zlib.compress(data, 6))
    _, packed1 = best(1, lambda: zlib.compress(data, 1))
    t_d6, back = best(args.runs, lambda: zlib.decompress(packed6))
    assert back == data
    t_crc, crc = best(args.runs, lambda: zlib.crc32(data))
    t_adler, adler = best(args.runs, lambda: zlib.adler32(data))
    assert ours["crc32"][1] == crc and ours["adler32"][1] == adler, "check values differ"
    theirs = {"compress": t_c6, "decompress": t_d6, "crc32": t_crc, "adler32": t_adler}

    print(f"input {len(data)} bytes; best of {args.runs} runs, in-process times")
    print(f"{'step':<12}{'ours s':>10}{'zlib-6 s':>10}{'ratio':>8}")
    for step in ("compress", "decompress", "crc32", "adler32"):
        print(f"{step:<12}{ours[step][0]:>10.3f}{theirs[step]:>10.3f}{ours[step][0] / theirs[step]:>8.2f}")
    size = ours["compress"][1]
    print(f"sizes: ours {size} ({size / len(data):.3f} of the input), zlib level 1 {len(packed1)} "
          f"({len(packed1) / len(data):.3f}), level 6 {len(packed6)} ({len(packed6) / len(data):.3f}); "
          f"ours / level 6 {size / len(packed6):.2f}")


if __name__ == "__main__":
    sys.exit(main())
