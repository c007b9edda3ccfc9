"""load-json against outside references, in one nuv-run process:

- the JSON test suite's parsing cases (corpora/json-test-suite/test_parsing, skipped without it),
  each read by the json codec: every y_ case gives a value; every n_ case an error, returned or
  raised as parse-stack, invalid-data or invalid-utf8; the outcome of each i_ case is the one
  json_reference_outcomes.txt records; a y_ or n_ case listed in
  known-failures/json-test-suite.txt must still disagree, so that list only shrinks;
- 1,000 random documents written by Python's json.dumps, read by load-json, written back by
  to-json and read by json.loads: the same data;
- the decoder's grammar run by parse beside load-json on every corpus case, every random
  document and a cut or changed copy of each: the same value, error text or raised error; and
  at the nesting depth where both raise parse-stack.

Usage: json_reference.py NUV-RUN SOURCE-DIR. NUV_CORPORA_DIR names the corpora folder when it
is not the source tree's ../shared/corpora."""
import json
import os
import random
import subprocess
import sys
import tempfile

run, here = os.path.abspath(sys.argv[1]), sys.argv[2]
source = os.path.dirname(os.path.dirname(here))
corpora = os.environ.get("NUV_CORPORA_DIR", os.path.join(source, "..", "shared", "corpora"))
suite = os.path.join(corpora, "json-test-suite", "test_parsing")
rng = random.Random(7159)


def read_list(path):
    """The lines of a checked-in list, comments (after #) and blank lines left out."""
    entries = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                entries.append(line)
    return entries


# ---- random documents ----

PLANES = [(0x20, 0x7F), (0xA0, 0x800), (0x800, 0xD800), (0xE000, 0xFFFE), (0x10000, 0x20000),
          (0x20000, 0x40000), (0xE0000, 0xF0000), (0xF0000, 0x110000)]


def random_text():
    out = []
    for _ in range(rng.randrange(0, 12)):
        k = rng.randrange(10)
        if k < 4:
            out.append(chr(rng.randrange(0x20, 0x7F)))
        elif k < 5:
            out.append(rng.choice('"\\/\b\f\n\r\t\x00\x01\x1f'))
        else:
            low, high = rng.choice(PLANES)
            out.append(chr(rng.randrange(low, high)))
    return "".join(out)


def random_key():
    k = rng.randrange(6)
    if k < 3:
        word = "".join(rng.choice("abcXYZ-_?!.+'1") for _ in range(rng.randrange(1, 6)))
        return word if rng.randrange(2) else word.swapcase()
    return random_text()


def random_value(depth):
    k = rng.randrange(10 if depth < 20 else 5)
    if k == 0:
        return rng.choice([True, False, None])
    if k == 1:
        return rng.randrange(-2**31, 2**31)
    if k == 2:
        return rng.choice([0, -1, 7, 2**31 - 1, -2**31])
    if k == 3:
        return rng.choice([0.1, -0.0, 1e300, 5e-324, 2.5, -1.5e-7]) if rng.randrange(3) == 0 else \
            rng.uniform(-1e6, 1e6) * 10.0 ** rng.randrange(-30, 30)
    if k == 4:
        return random_text()
    if k < 7:
        return [random_value(depth + 1) for _ in range(rng.randrange(0, 5))]
    obj = {}
    for _ in range(rng.randrange(0, 5)):
        key = random_key()
        obj[key] = random_value(depth + 1)
        if rng.randrange(4) == 0:
            obj[key.swapcase()] = random_value(depth + 1)
    return obj


def dumps(value):
    spaced = rng.randrange(3)
    return json.dumps(value, ensure_ascii=rng.randrange(2) == 0,
                      indent=None if spaced else rng.choice([0, 1, "\t"]),
                      separators=(", ", ": ") if spaced == 1 else None)


def mutate(text):
    if not text:
        return text
    i = rng.randrange(len(text))
    if rng.randrange(2):
        return text[:i]
    return text[:i] + rng.choice('[]{},:"\\ 1e-x\nu') + text[i + 1:]


values = [random_value(0) for _ in range(1000)]
docs = [dumps(v) for v in values]
differential = docs + [mutate(d) for d in docs]

# ---- the Nuv program ----

cases = sorted(os.listdir(suite)) if os.path.isdir(suite) else []
work = tempfile.mkdtemp()


def write_texts(name, texts):
    """Texts separated by U+0001, which json.dumps never writes unescaped."""
    with open(os.path.join(work, name), "w", encoding="utf-8", errors="surrogatepass") as f:
        f.write("\x01".join(texts) + "\x01")


write_texts("docs.txt", docs)
write_texts("differential.txt", differential)
with open(os.path.join(work, "cases.txt"), "w", encoding="utf-8") as f:
    f.write("".join(os.path.join(suite, c) + "\n" for c in cases))

program = r"""Nuv []
u: context? first find body-of :load-json 'mark
grammar-json: func [json] [
    do bind [
        clear stack
        _out: _res: make block! 1
        mark: last-lf: json
        line-ct: 1
        either parse/case json json-value [first _out] [
            make error! form reduce [
                "Invalid JSON string." "Line:" line-ct "Index:" index? mark
                "Column:" offset? last-lf mark "Near:"
                either tail? mark ["<end of input>"] [mold copy/part mark 40]
            ]
        ]
    ] u
]
outcome: func [code /local r] [
    r: try code
    either error? r [either r/type = 'user [r/arg1] [reduce [r/id r/arg1]]] [mold/all/flat r]
]
same-outcome: func [text /local a b] [
    a: outcome [grammar-json text]
    b: outcome [load-json text]
    either a == b ["same"] [mold/flat reduce ["grammar:" a "load-json:" b]]
]
texts: func [file /local found t] [
    found: copy []
    parse read file [any [copy t to #"^A" skip (append found t)]]
    found
]
; corpus cases: what the codec gives (value, error, or the raised error's id), then the grammar
parse read %cases.txt [any [copy f to #"^/" skip (
    r: try [system/codecs/json/decode to file! f]
    print case [
        not error? r ["value"]
        r/type = 'user ["error"]
        true [form r/id]
    ]
    text: try [read to file! f]
    print either error? text ["same"] [same-outcome text]
)]]
foreach t texts %docs.txt [print to-json load-json t]
foreach t texts %differential.txt [print same-outcome t]
nest: func [open inner close n /local t] [
    t: copy ""
    loop n [append t open]
    append t inner
    loop n [append t close]
]
deepest: func [open inner close /local lo hi mid r] [
    lo: 1 hi: 1000
    while [lo < hi] [
        mid: to integer! lo + hi / 2
        r: try [grammar-json nest open inner close mid]
        either all [error? r r/id = 'parse-stack] [hi: mid] [lo: mid + 1]
    ]
    lo
]
foreach [open inner close] [
    "[" "" "]"
    "[" {"\n"} "]"
    "[1," "1" "]"
    "[1," "x" "]"
    "^(7B)^"a^":" "1" "^(7D)"
    "^(7B)^"a\n^":" "[]" "^(7D)"
    "^(7B)^"b^":1,^"a^":" "x" "^(7D)"
    "[^(7B)^"a^":" "true" "^(7D)]"
    "[1,^(7B)^"a^":true,^"b^":" "^(7B)^"x\n^":[]^(7D)" "^(7D)]"
    " [ " "  " " ] "
][
    n: deepest open inner close
    print [n same-outcome nest open inner close n - 1 same-outcome nest open inner close n]
]
"""
with open(os.path.join(work, "reference.nuv"), "w", encoding="utf-8") as f:
    f.write(program)
out = subprocess.run([run, "reference.nuv"], cwd=work, capture_output=True, check=False, timeout=900)
lines = out.stdout.decode("utf-8", errors="surrogateescape").split("\n")
for name in os.listdir(work):
    os.unlink(os.path.join(work, name))
os.rmdir(work)

failures = []
checked = 0
at = 0


def take():
    global at
    at += 1
    return lines[at - 1] if at <= len(lines) else "<nothing>"


# Corpus cases.
known = set(read_list(os.path.join(here, "..", "known-failures", "json-test-suite.txt")))
recorded = dict(line.split() for line in read_list(os.path.join(here, "json_reference_outcomes.txt")))
raised_ok = {"parse-stack", "invalid-data", "invalid-utf8"}
for case in cases:
    got, grammar = take(), take()
    checked += 2
    if grammar != "same":
        failures.append(f"{case}: the grammar and load-json differ on {grammar[:80]}")
    if case.startswith("i_"):
        if recorded.get(case) != got:
            failures.append(f"{case}: {got}, recorded {recorded.get(case)}")
        continue
    agrees = got == "value" if case.startswith("y_") else got == "error" or got in raised_ok
    if agrees and case in known:
        failures.append(f"{case} agrees now: take it off known-failures/json-test-suite.txt")
    elif not agrees and case not in known:
        failures.append(f"{case}: {got}")

# Round trips through load-json and to-json.
for value, doc in zip(values, docs):
    line = take()
    checked += 1
    try:
        back = json.loads(line)
    except ValueError:
        back = ValueError
    if back != value:
        failures.append(f"round trip of {doc[:60]!r} gave {line[:60]!r}")

# The grammar beside load-json.
for text in differential:
    line = take()
    checked += 1
    if line != "same":
        failures.append(f"the grammar and load-json differ on {text[:60]!r}: {line[:300]}")
for _ in range(10):
    line = take().split()
    checked += 1
    if len(line) != 3 or line[1:] != ["same", "same"]:
        failures.append(f"deepest nesting: {' '.join(line)}")

if out.returncode != 0:
    failures.append(f"nuv-run exited with {out.returncode}: {out.stderr.decode(errors='replace')[-400:]}")
for failure in failures[:20]:
    print("FAIL", failure)
if not cases:
    print(f"no corpus at {suite}: its cases were not checked")
print(f"{checked - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
