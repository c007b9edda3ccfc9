"""compress and decompress checked against outside readers and writers:
- Python's zlib (raw, zlib and gzip framing) and `gzip -d` read what compress writes, for sizes
  around the edges of the match window and of the length codes, 1 MB of text and random bytes;
- decompress reads Python's output at levels 0-9 with every strategy, `gzip -c` output (which
  carries the file name), and two members in a row;
- every cut and every single-bit flip of a few zlib and gzip streams raises invalid-data or
  gives the original bytes back.
Usage: deflate_reference.py NUV-RUN."""
import gzip
import random
import shutil
import subprocess
import sys
import zlib

import reference

run = sys.argv[1]
rng = random.Random(1951)
WBITS = {"deflate": -15, "zlib": 15, "gzip": 31}


def literal(data):
    return "#{" + data.hex().upper() + "}"


def text(n):
    words = [b"value", b"series", b"block", b"word", b"context", b"binding", b"\n", b"Nuv"]
    out = bytearray()
    while len(out) < n:
        out += rng.choice(words) + b" "
    return bytes(out[:n])


sizes = [0, 1, 2, 3, 257, 258, 259, 32767, 32768, 32769]
inputs = [bytes(rng.randrange(256) for _ in range(n)) for n in sizes]
inputs += [text(n) for n in sizes[3:]]
inputs += [text(1 << 20), bytes(rng.randrange(256) for _ in range(1 << 20))]

script, wanted, checks = [], [], []

# Ours read by Python and gzip -d: the scripts print the compressed bytes in hex.
for data in inputs:
    for method in ("deflate", "zlib", "gzip"):
        script.append(f"print enbase/base compress {literal(data)} '{method} 16")
        wanted.append((method, data))
        checks.append(f"compress of {len(data)} bytes, {method}")

def read_ours(have, want):
    method, data = want
    try:
        packed = bytes.fromhex(have)
        if zlib.decompress(packed, WBITS[method]) != data:
            return False
        if method == "gzip":
            if gzip.decompress(packed) != data:
                return False
            if shutil.which("gzip"):
                out = subprocess.run(["gzip", "-d", "-c"], input=packed, capture_output=True)
                return out.returncode == 0 and out.stdout == data
        return True
    except Exception:
        return False

# Python's output read by us, at every level and strategy.
strategies = [zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE, zlib.Z_FIXED]
samples = [text(5000), bytes(rng.randrange(4) for _ in range(3000)), b"", b"x"]
for level in range(10):
    for strategy in strategies:
        for method in ("deflate", "zlib", "gzip"):
            for data in samples:
                c = zlib.compressobj(level, zlib.DEFLATED, WBITS[method], 8, strategy)
                packed = c.compress(data) + c.flush()
                script.append(f"print equal? decompress {literal(packed)} '{method} {literal(data)}")
                wanted.append("true")
                checks.append(f"level {level} strategy {strategy} {method} of {len(data)} bytes")

# gzip -c output with its name field, and two members in a row
if shutil.which("gzip"):
    named = text(3000)
    with open("/tmp/nuv-deflate-reference.txt", "wb") as f:
        f.write(named)
    packed = subprocess.run(["gzip", "-c", "/tmp/nuv-deflate-reference.txt"], capture_output=True).stdout
    assert packed[3] & 8, "gzip -c wrote no name"
    script.append(f"print equal? decompress {literal(packed)} 'gzip {literal(named)}")
    wanted.append("true")
    checks.append("gzip -c with a name")
two = gzip.compress(b"first member, ") + gzip.compress(b"second member")
script.append(f"print equal? decompress {literal(two)} 'gzip {literal(b'first member, second member')}")
wanted.append("true")
checks.append("two gzip members")

# Every cut and every single-bit flip: invalid-data or the original bytes.
for method, data in (("zlib", b"cut me, flip me, cut me"), ("gzip", b"abcabcabc hello"),
                     ("zlib", text(40)), ("gzip", bytes(range(20)))):
    c = zlib.compressobj(6, zlib.DEFLATED, WBITS[method])
    packed = c.compress(data) + c.flush()
    variants = [packed[:n] for n in range(len(packed))]
    for i in range(len(packed) * 8):
        flipped = bytearray(packed)
        flipped[i // 8] ^= 1 << (i % 8)
        variants.append(bytes(flipped))
    for v in variants:
        script.append(f"r: try [decompress {literal(v)} '{method}] print either error? r "
                      f"[form r/id] [either equal? r {literal(data)} ['same] ['different]]")
        wanted.append("corrupt")
        checks.append(f"{method} variant {v.hex()}")


def same(have, want):
    if want == "true":
        return have == "true"
    if want == "corrupt":
        return have in ("invalid-data", "same")
    return read_ours(have, want)


reference.check(run, script, wanted, same=same, labels=checks)
