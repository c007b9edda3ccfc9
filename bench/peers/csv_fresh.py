# csv_fresh: csv with names of its own.
import sys

sys.path.pop(0)  # this folder's csv.py would hide the csv module

import csv  # noqa: E402
import io  # noqa: E402

body = open("/tmp/nuv-bench-data/rows.csv", newline="", encoding="ascii").read()
table = list(csv.reader(io.StringIO(body, newline="")))
total = sum(len(cell) for line in table for cell in line)
sink = io.StringIO()
csv.writer(sink, lineterminator="\n").writerows(table)
print(len(table), total, len(sink.getvalue()))
