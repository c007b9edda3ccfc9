#!/usr/bin/env python3
"""Writes the csv workload's table: DIR/rows.csv, 200,000 rows of six fields in CR LF lines, some
quoted for their commas, quotes and line ends (none holds a space, so every writer quotes alike).
usage: csv_data.py DIR. The Park-Miller generator, seed 46, makes the same bytes on every machine.
"""
import csv
import os
import sys

M = 2147483647
LETTERS = "abcdefghijklmnopqrstuvwxyz"


def main():
    x = 46

    def rand(n):
        nonlocal x
        x = x * 16807 % M
        return x % n

    def word():
        return "".join(LETTERS[rand(26)] for _ in range(2 + rand(8)))

    rows = []
    for i in range(200_000):
        rows.append([
            str(i),
            word(),
            word() + "," + word(),
            f"{rand(100000)}.{rand(100):02}",
            word() + '"' + word() + '"' if rand(4) == 0 else word(),
            word() + "\n" + word() if rand(8) == 0 else "",
        ])
    os.makedirs(sys.argv[1], exist_ok=True)
    with open(os.path.join(sys.argv[1], "rows.csv"), "w", newline="", encoding="ascii") as f:
        csv.writer(f).writerows(rows)


if __name__ == "__main__":
    main()
