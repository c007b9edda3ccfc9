"""Random tables of 2 to 10 columns, their fields of letters, commas, quotes, spaces, CR and LF,
come back equal both ways: written by Python's csv writer (CR LF line ends and minimal quoting,
or LF line ends with every field quoted) and read by load-csv from the file's bytes; written by
to-csv, stored with write/binary and read by Python's csv reader. One nuv process runs every
case. Usage: csv_reference.py NUV-RUN."""
import csv
import os
import random
import sys
import tempfile

import reference

run = sys.argv[1]
rng = random.Random(7152)
PIECES = ["a", "b", "Z", "é", ",", '"', " ", "\r", "\n", "\r\n", "xy"]


def field():
    return "".join(rng.choice(PIECES) for _ in range(rng.choice([0, 1, 1, 2, 3, 5, 8])))


def table():
    width = rng.randint(2, 10)
    return [[field() for _ in range(width)] for _ in range(rng.randint(1, 12))]


def hex_rows(rows):
    """The table as the script prints it: each field's UTF-8 in hex, fields after dots, rows
    after spaces."""
    return " ".join("".join("." + f.encode().hex().upper() for f in row) for row in rows)


def binary_rows(rows):
    return "[" + " ".join(
        "[" + " ".join("#{" + f.encode().hex() + "}" for f in row) + "]" for row in rows) + "]"


class Written:
    """A table that to-csv wrote into a file: compared, once nuv has run, by reading the file."""

    def __init__(self, path, rows):
        self.path, self.rows = path, rows

    def __str__(self):
        return repr(self.rows)


def same(have, want):
    if not isinstance(want, Written):
        return have == want
    if have != "written":
        return False
    with open(want.path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f)) == want.rows


with tempfile.TemporaryDirectory() as folder:
    script = [
        "hex-rows: func [rows /local out] [out: make string! 100 foreach row rows ["
        " unless empty? out [append out space]"
        " foreach f row [append append out dot enbase/base to binary! f 16]] out]",
        "text-rows: func [rows] [foreach row rows [forall row [row/1: to string! row/1]] rows]",
    ]
    wanted, labels = [], []
    for i in range(400):
        rows = table()
        for ends, quoting, kind in (("\r\n", csv.QUOTE_MINIMAL, "crlf"),
                                    ("\n", csv.QUOTE_ALL, "all")):
            path = os.path.join(folder, f"{kind}{i}.csv")
            with open(path, "w", newline="", encoding="utf-8") as f:
                csv.writer(f, lineterminator=ends, quoting=quoting).writerows(rows)
            script.append(f"print hex-rows load-csv to string! read/binary %{path}")
            wanted.append(hex_rows(rows))
            labels.append(f"load-csv of {kind}{i}.csv: {rows!r}")
        path = os.path.join(folder, f"out{i}.csv")
        script.append(f"write/binary %{path} to binary! to-csv text-rows {binary_rows(rows)} "
                      "print \"written\"")
        wanted.append(Written(path, rows))
        labels.append(f"to-csv into out{i}.csv: {rows!r}")
    reference.check(run, script, wanted, same, labels)
