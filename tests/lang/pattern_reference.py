"""The three patterns of the pattern workload (bench/peers/pattern.nuv) written with parse, over
generated texts, against Python's re as the workload's Python peer writes them: set-words
[A-Za-z][A-Za-z0-9-]*:, decimals [0-9]+\\.[0-9]+, and digit runs [0-9]+ replaced by "#" (their
count and the length of the text after the replacement).
Usage: pattern_reference.py NUV-RUN."""
import random
import re
import sys

import reference

run = sys.argv[1]
rng = random.Random(4153)

# The rules as the workload has them, in a function so each text runs them afresh.
script = ["""alpha: make bitset! [#"A" - #"Z" #"a" - #"z"]
word-char: make bitset! [#"A" - #"Z" #"a" - #"z" #"0" - #"9" #"-"]
digit: make bitset! [#"0" - #"9"]
patterns: func [text /local set-words floats runs run-chars from to-end] [
    set-words: 0
    parse text [any [alpha any word-char #":" (set-words: set-words + 1) | skip]]
    floats: 0
    parse text [any [some digit #"." some digit (floats: floats + 1) | skip]]
    runs: 0
    run-chars: 0
    parse text [any [from: some digit to-end: (runs: runs + 1 run-chars: run-chars + (index? to-end) - (index? from)) | skip]]
    print [set-words floats runs (length? text) - run-chars + runs]
]"""]


def text_literal(text):
    return '"' + text.replace("^", "^^").replace('"', '^"').replace("\n", "^/") + '"'


def reference_line(text):
    setwords = sum(1 for _ in re.finditer(r"[A-Za-z][A-Za-z0-9-]*:", text))
    floats = sum(1 for _ in re.finditer(r"[0-9]+\.[0-9]+", text))
    out, nsub = re.subn(r"[0-9]+", "#", text)
    return f"{setwords} {floats} {nsub} {len(out)}"


# Pieces that make the patterns meet and miss: letters, digits, the separators they look for,
# blanks, and characters beyond ASCII that every pattern steps over.
PIECES = ["a", "Z", "q", "x-", "7", "0", "42", "3.14", ".", ":", "-", " ", "\n", "_", "é", "€",
          "1.", ".5", "ab:", "a1-b:", "::", "9:"]
texts = ["", "a", "a:", "1", "1.2", "1..2", "1.2.3", ".5", "5.", "-a:", "a-:", "A9:", "é:",
         "12:30", "x 1.25 y: 99"]
for _ in range(60):
    texts.append("".join(rng.choice(PIECES) for _ in range(rng.randint(1, 60))))
texts.append("".join(rng.choice(PIECES) for _ in range(3000)))

wanted, labels = [], []
for text in texts:
    script.append(f"patterns {text_literal(text)}")
    wanted.append(reference_line(text))
    labels.append(f"the patterns over {text!r}")

reference.check(run, script, wanted, labels=labels)
