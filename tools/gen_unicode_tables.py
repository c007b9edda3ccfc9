#!/usr/bin/env python3
"""Writes runtime/unicode_tables.inc: the case-mapping pair lists and the display-width range
tables, from the Unicode Character Database files of Debian's `unicode-data` package.

    python3 tools/gen_unicode_tables.py [--ucd DIR] [--out FILE]

Case pairs are the simple (one-to-one) upper- and lower-case mappings of UnicodeData.txt.
Width ranges:
  zero-width: general categories Mn, Me and Cf except U+00AD (a soft hyphen shows), plus the
              Hangul medial vowels and final consonants U+1160..U+11FF;
  wide:       East_Asian_Width W or F, with the defaults of the CJK blocks and of planes 2
              and 3 for unassigned code points, and the Emoji_Presentation characters;
  ambiguous:  East_Asian_Width A, less the zero-width characters.
The tables follow the Unicode version of the installed data files. The output is deterministic: the same files give the same bytes.
"""

import argparse
import os
import re
import sys

# The tables take every character of the installed database; a version here would leave out
# the characters assigned after it.
AGE_CASE = (99, 0)
AGE_WIDTH = (99, 0)

LIMIT = 0x110000
EAW_NAMES = {"Neutral": "N", "Ambiguous": "A", "Halfwidth": "H", "Wide": "W",
             "Fullwidth": "F", "Narrow": "Na"}


def parse_range(text):
    text = text.strip()
    if ".." in text:
        low, high = text.split("..")
        return int(low, 16), int(high, 16)
    return int(text, 16), int(text, 16)


def data_lines(path):
    """(low, high, value) for each data line of a UCD property file."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = [x.strip() for x in line.split(";")]
            low, high = parse_range(fields[0])
            yield low, high, fields[1]


def missing_lines(path):
    """(low, high, value) for each '# @missing:' line, in file order."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"#\s*@missing:\s*([0-9A-Fa-f.]+)\s*;\s*(\S+)", line)
            if m:
                low, high = parse_range(m.group(1))
                yield low, high, m.group(2)


def ucd_version(ucd):
    with open(os.path.join(ucd, "DerivedAge.txt"), encoding="utf-8") as f:
        m = re.match(r"#\s*DerivedAge-(\d+\.\d+\.\d+)\.txt", f.readline())
    if not m:
        sys.exit("gen_unicode_tables: cannot read the Unicode version from DerivedAge.txt")
    return m.group(1)


def load_ages(ucd):
    age = [None] * LIMIT
    for low, high, value in data_lines(os.path.join(ucd, "DerivedAge.txt")):
        version = tuple(int(x) for x in value.split("."))
        for c in range(low, high + 1):
            age[c] = version
    return age


def assigned_by(age, c, cut):
    return age[c] is not None and age[c] <= cut


def case_pairs(ucd, age):
    """The four sorted pair lists: upper BMP, lower BMP, upper above U+FFFF, lower above."""
    upper, lower = [], []
    with open(os.path.join(ucd, "UnicodeData.txt"), encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            cp = int(fields[0], 16)
            for column, pairs in ((12, upper), (13, lower)):
                if not fields[column]:
                    continue
                mapped = int(fields[column], 16)
                if assigned_by(age, cp, AGE_CASE) and assigned_by(age, mapped, AGE_CASE):
                    pairs.append((cp, mapped))
    upper.sort()
    lower.sort()
    for pairs in (upper, lower):
        for cp, mapped in pairs:
            if (cp > 0xFFFF) != (mapped > 0xFFFF):
                sys.exit("gen_unicode_tables: a case pair crosses the BMP boundary: %04X" % cp)
    bmp = lambda pairs: [p for p in pairs if p[0] <= 0xFFFF]
    astral = lambda pairs: [p for p in pairs if p[0] > 0xFFFF]
    return bmp(upper), bmp(lower), astral(upper), astral(lower)


def merge(codes):
    """Sorted inclusive ranges covering the set of code points."""
    ranges = []
    for c in sorted(codes):
        if ranges and ranges[-1][1] == c - 1:
            ranges[-1][1] = c
        else:
            ranges.append([c, c])
    return [tuple(r) for r in ranges]


def width_ranges(ucd, age):
    category = ["Cn"] * LIMIT
    gc_path = os.path.join(ucd, "extracted", "DerivedGeneralCategory.txt")
    for low, high, value in data_lines(gc_path):
        for c in range(low, high + 1):
            category[c] = value
    zero = set()
    for c in range(LIMIT):
        if category[c] in ("Mn", "Me", "Cf") and c != 0x00AD and assigned_by(age, c, AGE_WIDTH):
            zero.add(c)
    zero.update(range(0x1160, 0x1200))

    eaw_path = os.path.join(ucd, "extracted", "DerivedEastAsianWidth.txt")
    eaw = [None] * LIMIT
    for low, high, value in missing_lines(eaw_path):  # general default first, then block defaults
        short = EAW_NAMES.get(value, value)
        for c in range(low, high + 1):
            eaw[c] = short
    for low, high, value in data_lines(eaw_path):
        for c in range(low, high + 1):
            if assigned_by(age, c, AGE_WIDTH):
                eaw[c] = value
    wide = set(c for c in range(LIMIT) if eaw[c] in ("W", "F"))
    emoji_path = os.path.join(ucd, "emoji", "emoji-data.txt")
    for low, high, value in data_lines(emoji_path):
        if value == "Emoji_Presentation":
            wide.update(c for c in range(low, high + 1) if assigned_by(age, c, AGE_WIDTH))
    ambiguous = [c for c in range(LIMIT) if eaw[c] == "A" and c not in zero]
    return merge(zero), merge(wide), merge(ambiguous)




def emit_pairs(out, name, pairs, what):
    out.append("// %s: %d pairs (code point, mapped code point), sorted." % (what, len(pairs)))
    out.append("inline constexpr char32_t %s[][2] = {" % name)
    for i in range(0, len(pairs), 4):
        row = ", ".join("{0x%04X, 0x%04X}" % p for p in pairs[i:i + 4])
        out.append("    %s," % row)
    out.append("};")
    out.append("")


def emit_ranges(out, name, ranges, what):
    out.append("// %s: %d ranges (low, high), inclusive, sorted." % (what, len(ranges)))
    out.append("inline constexpr char32_t %s[][2] = {" % name)
    for i in range(0, len(ranges), 4):
        row = ", ".join("{0x%04X, 0x%04X}" % r for r in ranges[i:i + 4])
        out.append("    %s," % row)
    out.append("};")
    out.append("")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", default="/usr/share/unicode",
                        help="folder of the Unicode Character Database files")
    parser.add_argument("--out", default=os.path.join(root, "runtime", "unicode_tables.inc"))
    args = parser.parse_args()
    for name in ("UnicodeData.txt", "DerivedAge.txt",
                 os.path.join("extracted", "DerivedGeneralCategory.txt"),
                 os.path.join("extracted", "DerivedEastAsianWidth.txt"),
                 os.path.join("emoji", "emoji-data.txt")):
        if not os.path.exists(os.path.join(args.ucd, name)):
            sys.exit("gen_unicode_tables: %s is missing (install the unicode-data package)"
                     % os.path.join(args.ucd, name))

    version = ucd_version(args.ucd)
    age = load_ages(args.ucd)
    upper_bmp, lower_bmp, upper_astral, lower_astral = case_pairs(args.ucd, age)
    zero, wide, ambiguous = width_ranges(args.ucd, age)

    out = [
        "// Generated by tools/gen_unicode_tables.py from the Unicode Character Database %s;"
        " do not edit." % version,
        "// Case pairs: the simple case mappings; width ranges: unassigned code points keep"
        " defaults.",
        "#pragma once",
        "",
        "namespace nuv::unicode_tables {",
        "",
        'inline constexpr char kUnicodeVersion[] = "%s";' % version,
        "",
    ]
    emit_pairs(out, "kUpperBmp", upper_bmp, "Upper-case mappings in the BMP")
    emit_pairs(out, "kLowerBmp", lower_bmp, "Lower-case mappings in the BMP")
    emit_pairs(out, "kUpperAstral", upper_astral, "Upper-case mappings above U+FFFF")
    emit_pairs(out, "kLowerAstral", lower_astral, "Lower-case mappings above U+FFFF")
    emit_ranges(out, "kZeroWidth", zero, "Zero-width: combining marks and format characters")
    emit_ranges(out, "kWide", wide, "Wide: East Asian wide, fullwidth, emoji presentation")
    emit_ranges(out, "kAmbiguous", ambiguous, "Ambiguous: East Asian ambiguous width")
    out.append("}  // namespace nuv::unicode_tables")
    text = "\n".join(out) + "\n"

    with open(args.out, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    print("gen_unicode_tables: Unicode %s; case pairs %d/%d/%d/%d; width ranges %d/%d/%d -> %s"
          % (version, len(upper_bmp), len(lower_bmp), len(upper_astral), len(lower_astral),
             len(zero), len(wide), len(ambiguous), os.path.relpath(args.out, root)))


if __name__ == "__main__":
    main()
