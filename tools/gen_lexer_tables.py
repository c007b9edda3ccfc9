#!/usr/bin/env python3
"""Writes runtime/syntax/lexer_tables.inc: the lexer's byte class table (class and token
flags per byte), its transition table, and the datatype each state stands for.

    python3 tools/gen_lexer_tables.py [--out FILE]

Every table comes from the named rules below: classes by the bytes they hold, each state's
row as its exceptions and a default ("any other"). Rows name classes by label; a next state of
66 or more ends the token. The output is deterministic.
"""

import argparse
import os
import sys

# Classes in table order: (label, bytes). A byte named by no class is a "letter".
CLASSES = [
    ("blank", b"\t\r "),
    ("newline", b"\n"),
    ("digit", b"123456789"),
    ("zero", b"0"),
    ("[", b"["),
    ("]", b"]"),
    ("(", b"("),
    (")", b")"),
    ("{", b"{"),
    ("}", b"}"),
    ("dquote", b'"'),
    ("hash", b"#"),
    ("quote", b"'"),
    ("colon", b":"),
    ("x", b"xX"),
    ("T", b"T"),
    ("h", b"h"),
    ("e", b"e"),
    ("E", b"E"),
    ("hexlow", b"abcdf"),
    ("hexup", b"ABCDF"),
    ("slash", b"/"),
    ("backslash", b"\\"),
    ("lt", b"<"),
    ("gt", b">"),
    ("equal", b"="),
    ("percent", b"%"),
    ("comma", b","),
    ("semicolon", b";"),
    ("at", b"@"),
    ("dot", b"."),
    ("dollar", b"$"),
    ("plus", b"+"),
    ("minus", b"-"),
    ("caret", b"^"),
    ("control", bytes(list(range(0x01, 0x09)) + [0x0B, 0x0C] + list(range(0x0E, 0x20)))),
    ("cont", bytes([0x7F] + list(range(0x80, 0xC0)))),
    ("letter", None),  # every byte not named elsewhere: ASCII word characters, lead bytes C2-F7
    ("invalid", bytes([0xC0, 0xC1] + list(range(0xF8, 0x100)))),
    ("nul", b"\x00"),
]

# Token flags: the scanner ORs them over a token's bytes so loaders can skip work.
FLAGS = [
    (0x00000100, bytes(range(0x80, 0xC0))),  # UTF-8 continuation byte
    (0x00040000, b"%"),
    (0x00080000, b">"),
    (0x00100000, b"<"),
    (0x00200000, b"+-"),
    (0x00400000, b"\x00"),
    (0x00800000, b"#"),
    (0x01000000, b"eE"),
    (0x02000000, b"'"),
    (0x04000000, b":"),
    (0x08000000, b","),
    (0x10000000, b"."),
    (0x20000000, b"^"),
    (0x40000000, bytes(range(0xC2, 0xF0))),  # lead byte of a 2- or 3-byte sequence
    (0x80000000, bytes(range(0xF0, 0xF8))),  # lead byte of a 4-byte sequence
]

FIRST_TERMINAL = 66
STATE_COUNT = 102

# (state, role, transitions)
RULES = [
    (0, "start (skips blanks and line breaks)",
     "blank, newline, control -> 0; digit, zero -> 23; [ -> 68; ] -> 69; ( -> 70; ) -> 71; { -> 72; }, backslash, cont, invalid -> 67; dquote -> 2; hash -> 16; quote, colon -> 51; E, hexup -> 40; slash -> 13; lt -> 43; equal -> 58; percent -> 6; comma -> 78; semicolon -> 1; at -> 57; dot -> 49; dollar -> 36; plus, minus -> 47; nul -> 66; any other -> 52"),
    (1, "comment to end of line",
     "newline, nul -> 77; invalid -> 67; any other -> 1"),
    (2, "quoted string",
     "newline, invalid, nul -> 67; dquote -> 79; caret -> 3; any other -> 2"),
    (3, "escape in quoted string",
     "invalid, nul -> 67; any other -> 2"),
    (4, "inside a braced string (continuation)",
     "{ -> 72; } -> 73; caret -> 5; invalid, nul -> 67; any other -> 4"),
    (5, "escape in a braced string",
     "invalid, nul -> 67; any other -> 4"),
    (6, "after percent",
     "blank, newline, [, ], (, ), }, semicolon, at, control, nul -> 80; { -> 10; dquote -> 8; colon -> 54; percent -> 9; invalid -> 67; any other -> 7"),
    (7, "file body",
     "blank, newline, [, ], (, ), {, }, colon, semicolon, at, nul -> 85; dquote, invalid -> 67; any other -> 7"),
    (8, "quoted file",
     "newline, invalid, nul -> 67; dquote -> 85; any other -> 8"),
    (9, "after two percents",
     "blank, newline, [, ], (, ), }, dquote, backslash, semicolon, control, nul -> 80; { -> 10; percent -> 9; invalid -> 67; any other -> 7"),
    (10, "raw string body",
     "} -> 11; invalid, nul -> 67; any other -> 10"),
    (11, "closing brace inside raw string",
     "} -> 11; percent -> 12; invalid, nul -> 67; any other -> 10"),
    (12, "closing percent run of raw string",
     "blank, newline, [, ], (, ), {, dquote, lt, semicolon, control, nul -> 100; percent -> 12; any other -> 67"),
    (13, "after slash at token start",
     "blank, newline, [, ], (, ), {, }, dquote, hash, semicolon, at, control, nul -> 80; colon -> 53; slash -> 15; comma, invalid -> 67; any other -> 14"),
    (14, "refinement body",
     "blank, newline, [, ], (, ), {, }, dquote, slash, semicolon, at, control, nul -> 83; colon, comma, invalid -> 67; any other -> 14"),
    (15, "after two slashes",
     "blank, newline, [, ], (, ), {, }, dquote, hash, semicolon, at, control, nul -> 80; slash -> 15; percent, comma, dollar, invalid -> 67; any other -> 52"),
    (16, "after hash",
     "blank, newline, ], ), }, colon, lt, gt, comma, invalid -> 67; [ -> 74; ( -> 21; { -> 17; dquote -> 19; semicolon, at, control, nul -> 81; any other -> 22"),
    (17, "binary body",
     "blank, newline, digit, zero, x, T, h, e, E, hexlow, hexup, slash, equal, plus, letter -> 17; } -> 86; semicolon -> 18; any other -> 67"),
    (18, "comment inside binary",
     "newline -> 17; invalid, nul -> 67; any other -> 18"),
    (19, "char body",
     "dquote -> 84; caret -> 20; invalid, nul -> 67; any other -> 19"),
    (20, "escape in char",
     "invalid, nul -> 67; any other -> 19"),
    (21, "construction body",
     ") -> 76; invalid, nul -> 67; any other -> 21"),
    (22, "issue body",
     "blank, newline, [, ], (, ), {, }, dquote, semicolon, at, control, nul -> 81; colon, slash, invalid -> 67; any other -> 22"),
    (23, "integer digits",
     "digit, zero, quote -> 23; hash -> 16; colon -> 31; x -> 33; T, slash, minus -> 30; h -> 42; e -> 26; E -> 27; hexlow, backslash, gt, equal, dollar, plus, caret, cont, letter, invalid -> 67; hexup -> 39; percent -> 87; at -> 56; dot -> 24; any other -> 82"),
    (24, "digits and dot",
     "blank, newline, [, ], (, ), {, }, dquote, slash, lt, comma, semicolon, control, nul -> 88; digit, zero, quote -> 25; hash -> 28; x -> 33; e, E -> 26; percent -> 87; any other -> 67"),
    (25, "decimal fraction",
     "digit, zero, quote -> 25; hash, T, h, hexlow, hexup, backslash, gt, equal, dollar, plus, minus, caret, cont, letter, invalid -> 67; x -> 33; e, E -> 26; percent -> 87; at -> 56; dot -> 29; any other -> 88"),
    (26, "exponent",
     "blank, newline, [, ], (, ), {, }, dquote, colon, slash, lt, comma, semicolon, control, nul -> 88; digit, zero, plus, minus -> 26; at -> 56; any other -> 67"),
    (27, "digits and E",
     "digit, zero -> 27; hash, quote, x, T, e, hexlow, backslash, gt, equal, semicolon, dollar, caret, cont, letter, invalid -> 67; h -> 42; E, hexup -> 40; percent -> 87; at -> 56; dot -> 29; plus, minus -> 26; any other -> 88"),
    (28, "after digits, dot and hash",
     "digit -> 88; hash, quote, colon, percent, at, dollar, caret, invalid -> 67; x, T, h, e, E, hexlow, hexup, gt, equal, dot, plus, minus, cont, letter -> 28; any other -> 89"),
    (29, "tuple",
     "blank, newline, [, ], (, ), {, }, dquote, colon, slash, lt, semicolon, control, nul -> 90; digit, zero, dot -> 29; any other -> 67"),
    (30, "date",
     "blank, newline, [, ], (, ), {, }, dquote, lt, semicolon, dollar, control, nul -> 91; percent, comma, at, caret, cont, invalid -> 67; any other -> 30"),
    (31, "time after first colon",
     "digit, zero -> 32; any other -> 67"),
    (32, "time",
     "blank, newline, [, ], (, ), {, }, dquote, slash, lt, semicolon, control, nul -> 94; digit, zero, colon, dot -> 32; any other -> 67"),
    (33, "pair after x",
     "digit, zero, plus, minus -> 34; at -> 56; any other -> 67"),
    (34, "pair second part",
     "blank, newline, [, ], (, ), {, }, dquote, colon, slash, lt, semicolon, control, nul -> 92; digit, zero, e, E, dot -> 34; at -> 56; any other -> 67"),
    (35, "point inside parentheses",
     "blank, digit, zero, ], hash, e, E, hexlow, hexup, comma, dot, plus, minus, letter -> 35; ) -> 93; any other -> 67"),
    (36, "after dollar",
     "digit, zero -> 37; any other -> 67"),
    (37, "money integer part",
     "blank, newline, [, ], (, ), {, }, dquote, hash, colon, slash, lt, semicolon, control, nul -> 95; digit, zero, quote -> 37; dot -> 38; any other -> 67"),
    (38, "money fraction",
     "blank, newline, [, ], (, ), {, }, dquote, hash, colon, slash, lt, semicolon, control, nul -> 95; digit, zero, quote -> 38; any other -> 67"),
    (39, "hex digits after a letter",
     "digit, zero, E, hexup -> 39; h -> 41; at -> 56; any other -> 67"),
    (40, "word starting with A-F or E",
     "digit, zero, E, hexup -> 40; quote, x, T, e, hexlow, lt, gt, equal, dot, plus, minus, caret, cont, letter -> 52; colon -> 53; h -> 41; slash -> 75; percent, comma, invalid -> 67; at -> 56; dollar -> 37; any other -> 80"),
    (41, "hex word ending in h",
     "blank, newline, [, ], (, ), {, }, dquote, backslash, semicolon, control, nul -> 99; hash, percent, comma, invalid -> 67; colon -> 53; slash -> 75; at -> 56; dollar -> 37; any other -> 52"),
    (42, "digits ending in h",
     "blank, newline, [, ], (, ), {, }, dquote, backslash, lt, semicolon, control, nul -> 99; slash -> 75; at -> 56; dollar -> 37; any other -> 67"),
    (43, "after lt",
     "blank, newline, [, ], (, ), {, }, dquote, semicolon, control, nul -> 80; quote -> 46; colon -> 53; lt -> 43; gt, equal, minus -> 52; invalid -> 67; any other -> 44"),
    (44, "tag body",
     "dquote -> 45; quote -> 46; gt -> 96; invalid, nul -> 67; any other -> 44"),
    (45, "double-quoted part inside tag",
     "dquote -> 44; invalid, nul -> 67; any other -> 45"),
    (46, "single-quoted part inside tag",
     "quote -> 44; invalid, nul -> 67; any other -> 46"),
    (47, "after plus or minus",
     "blank, newline, [, ], (, ), {, }, dquote, hash, backslash, semicolon, control, nul -> 80; digit, zero -> 23; quote, percent, caret, invalid -> 67; slash -> 75; dot -> 49; dollar -> 37; any other -> 52"),
    (48, "sign after quote or colon",
     "blank, newline, [, ], (, ), {, }, dquote, hash, backslash, semicolon, control, nul -> 80; quote, percent, dollar, caret, invalid -> 67; slash -> 75; any other -> 52"),
    (49, "after dot",
     "blank, newline, [, ], (, ), {, }, dquote, hash, backslash, semicolon, control, nul -> 80; digit, zero, plus, minus -> 50; colon -> 53; slash -> 75; percent, comma, dollar, invalid -> 67; at -> 56; any other -> 52"),
    (50, "decimal after dot",
     "blank, newline, [, ], (, ), {, }, dquote, colon, slash, lt, control, nul -> 88; digit, zero, e, E, plus, minus -> 50; x -> 33; percent -> 87; at -> 56; any other -> 67"),
    (51, "after quote or colon prefix",
     "x, T, h, e, E, hexlow, hexup, gt, dot, caret, cont, letter -> 52; slash -> 13; lt -> 43; equal -> 58; percent -> 54; plus, minus -> 48; any other -> 67"),
    (52, "word body",
     "blank, newline, [, ], (, ), {, }, dquote, hash, backslash, lt, semicolon, control, nul -> 80; colon -> 53; slash -> 75; percent, comma, invalid -> 67; at -> 56; dollar -> 36; any other -> 52"),
    (53, "word ending in colon",
     "blank, newline, [, ], (, ), {, }, dquote, backslash, semicolon, control, nul -> 80; lt, invalid -> 67; any other -> 55"),
    (54, "percent after quote or colon prefix",
     "blank, newline, [, ], (, ), {, }, backslash, semicolon, control, nul -> 80; percent -> 54; any other -> 67"),
    (55, "url body",
     "blank, newline, [, ], (, ), {, }, dquote, backslash, lt, semicolon, control, nul -> 97; gt, caret, invalid -> 67; any other -> 55"),
    (56, "email after at",
     "digit, zero, x, T, h, e, E, hexlow, hexup, percent, dot, plus, minus, cont, letter -> 56; hash, quote, colon, gt, equal, comma, at, dollar, caret, invalid -> 67; any other -> 98"),
    (57, "ref after at",
     "blank, newline, [, ], (, ), {, }, dquote, lt, semicolon, control, nul -> 101; hash, quote, backslash, gt, equal, comma, at, dollar, caret, invalid -> 67; any other -> 57"),
    (58, "after equal",
     "blank, newline, [, ], (, ), {, }, dquote, colon, backslash, semicolon, control, nul -> 80; hash, percent, comma, at, dollar, invalid -> 67; slash -> 75; any other -> 52"),
    (59, "path segment start",
     "digit, zero -> 60; ( -> 70; ) -> 71; dquote -> 2; hash -> 63; quote, colon -> 61; x, T, h, e, E, hexlow, hexup, gt, equal, dot, cont, letter -> 62; lt -> 43; at -> 57; dollar -> 36; plus, minus -> 64; any other -> 67"),
    (60, "integer in path",
     "blank, newline, [, ], (, ), {, }, dquote, colon, slash, lt, semicolon, control, nul -> 82; digit, zero, quote -> 60; x -> 33; e, E -> 26; percent -> 87; at -> 56; dot -> 24; any other -> 67"),
    (61, "quote or colon in path",
     "x, T, h, e, E, hexlow, hexup, lt, gt, equal, dot, plus, minus, cont, letter -> 62; any other -> 67"),
    (62, "word in path",
     "blank, newline, [, ], (, ), {, }, dquote, colon, slash, backslash, semicolon, control, nul -> 80; hash, percent, comma, invalid -> 67; at -> 56; dollar -> 36; any other -> 62"),
    (63, "hash in path",
     "blank, newline, ], (, ), {, }, colon, slash, lt, gt, equal, comma, semicolon, at, control, invalid, nul -> 67; [ -> 21; dquote -> 19; any other -> 22"),
    (64, "sign in path",
     "digit, zero -> 60; hash, quote, lt, percent, comma, caret, invalid -> 67; x, T, h, e, E, hexlow, hexup, gt, equal, dot, cont, letter -> 62; at -> 56; dollar -> 36; plus, minus -> 64; any other -> 80"),
]

# The datatype a state stands for: terminals name their token's type; non-terminals the type of
# the token under way, for error reports. States left out stand for no type (their errors are
# bad characters); so do the structural terminals, whose type comes from the exit-state list.
STATE_TYPES = {
    2: "String", 3: "String", 4: "String", 5: "String",
    7: "File", 8: "File",
    10: "String", 11: "String", 12: "String",
    14: "Refinement", 16: "Issue", 17: "Binary", 18: "Binary", 19: "Char", 20: "Char",
    21: "Datatype", 22: "Issue",
    23: "Integer", 24: "Float", 25: "Float", 26: "Float", 27: "Float", 28: "Float",
    29: "Tuple", 30: "Date", 31: "Time", 32: "Time", 33: "Pair", 34: "Pair",
    35: "Point2D", 36: "Money", 37: "Money", 38: "Money",
    39: "Integer", 40: "Word", 41: "Word", 42: "Integer",
    43: "Tag", 44: "Tag", 45: "Tag", 46: "Tag",
    50: "Float", 52: "Word", 53: "SetWord", 55: "Url", 56: "Email", 57: "Ref", 59: "Path",
    67: "Error", 79: "String", 80: "Word", 81: "Issue", 82: "Integer", 83: "Refinement",
    84: "Char", 85: "File", 86: "Binary", 87: "Percent", 88: "Float", 89: "Float",
    90: "Tuple", 91: "Date", 92: "Pair", 93: "Point2D", 94: "Time", 95: "Money", 96: "Tag",
    97: "Url", 98: "Email", 99: "Integer", 100: "String", 101: "Ref",
}


def class_of_byte():
    table = [None] * 256
    for index, (label, members) in enumerate(CLASSES):
        if members is None:
            continue
        for b in members:
            assert table[b] is None, "byte %02X in two classes" % b
            table[b] = index
    letter = [i for i, (label, _) in enumerate(CLASSES) if label == "letter"][0]
    return [letter if c is None else c for c in table]


def parse_row(state, text, labels):
    row = [None] * len(labels)
    default = None
    for part in text.split(";"):
        names, target = part.split("->")
        target = int(target)
        names = names.strip()
        if names == "any other":
            default = target
            continue
        for name in names.split(","):
            name = name.strip()
            if name not in labels:
                sys.exit("state %d: unknown class %r" % (state, name))
            index = labels.index(name)
            if row[index] is not None:
                sys.exit("state %d: class %r given twice" % (state, name))
            row[index] = target
    for i, target in enumerate(row):
        if target is None:
            if default is None:
                sys.exit("state %d: class %r has no transition" % (state, labels[i]))
            row[i] = target = default
        if not 0 <= target < STATE_COUNT:
            sys.exit("state %d: next state %d out of range" % (state, target))
    return row


def generate():
    labels = [label for label, _ in CLASSES]
    assert len(labels) == 40
    classes = class_of_byte()
    flags = [0] * 256
    for bit, members in FLAGS:
        for b in members:
            flags[b] |= bit
    if [s for s, _, _ in RULES] != list(range(FIRST_TERMINAL - 1)):
        sys.exit("the rules must give states 0-64 in order")
    rows = [parse_row(s, text, labels) for s, _, text in RULES]

    out = []
    out.append("// Generated by tools/gen_lexer_tables.py from its named rules; do not edit.")
    out.append("")
    out.append("inline constexpr int kClassCount = %d;" % len(labels))
    out.append("inline constexpr int kRowCount = %d;" % len(rows))
    out.append("")
    out.append("// Byte classes, by label.")
    out.append("enum class ByteClass : uint8_t {")
    for i, label in enumerate(labels):
        out.append("    %s = %d," % (class_ident(label), i))
    out.append("};")
    out.append("")
    out.append("// Per byte: the class in bits 0-7, the token flags above.")
    out.append("inline constexpr uint32_t kClassTable[256] = {")
    for base in range(0, 256, 8):
        cells = ", ".join("0x%08X" % (flags[b] | classes[b]) for b in range(base, base + 8))
        out.append("    %s,  // %02X" % (cells, base))
    out.append("};")
    out.append("")
    out.append("// Next state by (state, class).")
    out.append("inline constexpr uint8_t kTransitions[kRowCount][kClassCount] = {")
    for s, (state, role, _) in enumerate(RULES):
        out.append("    {%s},  // %d %s" % (", ".join(str(t) for t in rows[s]), state, role))
    out.append("};")
    out.append("")
    out.append("// The datatype each state stands for (Invalid: none).")
    out.append("inline constexpr TypeId kStateTypes[%d] = {" % STATE_COUNT)
    for base in range(0, STATE_COUNT, 6):
        cells = ", ".join("TypeId::%s" % STATE_TYPES.get(s, "Invalid")
                          for s in range(base, min(base + 6, STATE_COUNT)))
        out.append("    %s,  // %d" % (cells, base))
    out.append("};")
    out.append("")
    out.append("// Role of each non-terminal state, for tests and diagnostics.")
    out.append("inline constexpr const char* kStateRoles[kRowCount] = {")
    for state, role, _ in RULES:
        out.append('    "%s",' % role.replace('"', '\\"'))
    out.append("};")
    out.append("")
    out.append("inline constexpr const char* kClassLabels[kClassCount] = {")
    out.append("    " + ", ".join('"%s"' % label for label in labels) + ",")
    out.append("};")
    return "\n".join(out) + "\n"


def class_ident(label):
    names = {"[": "LBracket", "]": "RBracket", "(": "LParen", ")": "RParen", "{": "LBrace",
             "}": "RBrace", "x": "X", "h": "LowH", "e": "LowE", "E": "UpE", "T": "UpT"}
    if label in names:
        return names[label]
    return "".join(part.capitalize() for part in label.split("-"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--out", default=os.path.join(root, "runtime", "syntax",
                                                       "lexer_tables.inc"))
    args = parser.parse_args()
    text = generate()
    with open(args.out, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
