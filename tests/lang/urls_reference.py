"""decode-url over 10,000 URLs built from the grammar's character sets, against Python's
urlsplit and unquote. Only what both read alike is generated: escapes that spell whole UTF-8
characters, ports up to 65535 and bracketed hosts that are IPv6 addresses. The scheme is
compared without case; user information, host and port as the netloc writes them; query and
fragment unquoted; path and target against the unquoted path split at its last inner "/".
A none field matches an empty one. Each field is shown escaped (enhex and quote agree on it).
Usage: urls_reference.py NUV-RUN."""
import ipaddress
import random
import sys
from urllib.parse import quote, unquote, urlsplit

import reference

run = sys.argv[1]
rng = random.Random(3986)

ALPHA = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
DIGIT = "0123456789"
UNRESERVED = ALPHA + DIGIT + "-._~"
SUB_DELIMS = "!$&'()*+,;="
# Characters escaped as whole UTF-8 sequences: ASCII (but brackets, which would open an IP
# literal), then two-, three- and four-byte ones.
ESCAPED = [c for c in map(chr, range(128)) if c not in "[]"] + ["é", "ß", "Ω", "€", "中", "😀"]


def escape(c):
    text = "".join(f"%{b:02X}" for b in c.encode())
    return text if rng.random() < 0.5 else text.lower()


def run_of(chars, longest, escapes=True):
    out = []
    for _ in range(rng.randint(0, longest)):
        out.append(escape(rng.choice(ESCAPED)) if escapes and rng.random() < 0.15 else rng.choice(chars))
    return "".join(out)


PCHAR = UNRESERVED + SUB_DELIMS + ":@"


def segment(nonempty=False):
    s = run_of(PCHAR, 6)
    return s or (rng.choice(PCHAR) if nonempty else s)


def segments(first_nonempty):
    parts = [segment(first_nonempty)] + [segment() for _ in range(rng.randint(0, 3))]
    return "/".join(parts)


def host():
    if rng.random() < 0.2:
        text = str(ipaddress.IPv6Address(rng.getrandbits(128) & rng.choice([(1 << 128) - 1, 0xFFFF, (0xFFFF << 112) | 0xFFFF])))
        return "[" + (text.upper() if rng.random() < 0.3 else text) + "]"
    return run_of(UNRESERVED + SUB_DELIMS, 12)


def url():
    text = rng.choice(ALPHA) + run_of(ALPHA + DIGIT + "+-.", 5, escapes=False) + ":"
    form = rng.random()
    if form < 0.7:
        text += "//"
        if rng.random() < 0.4:
            text += run_of(UNRESERVED + SUB_DELIMS + ":", 8) + "@"
        text += host()
        if rng.random() < 0.4:
            text += ":" + str(rng.randint(0, 65535)).zfill(rng.randint(1, 5))
        if rng.random() < 0.8:
            text += "/" + segments(False)
    elif form < 0.8:
        text += "/" + (segments(True) if rng.random() < 0.7 else "")
    elif form < 0.95:
        text += segments(True)
    if rng.random() < 0.3:
        text += "?" + run_of(PCHAR + "/?", 10)
    if rng.random() < 0.3:
        text += "#" + run_of(PCHAR + "/?", 10)
    return text


def split_path(path):
    """The directory and target of a path: a bare "/", ".", "..", "./" or "../" is all
    directory; else the split follows the last "/" before the last character."""
    if path in ("/", ".", "..", "./", "../"):
        return (path if path.endswith("/") else path + "/"), ""
    cut = path.rfind("/", 0, len(path) - 1) + 1
    directory, target = path[:cut] or "./", path[cut:]
    return directory, target + "/" if target in (".", "..") else target


def shown(text):
    return quote(text, safe="")


def wanted_line(text):
    parts = urlsplit(text)
    userinfo, _, hostport = parts.netloc.rpartition("@")
    if hostport.startswith("["):
        end = hostport.index("]") + 1
        name, port = hostport[:end], hostport[end + 1:]
    else:
        name, _, port = hostport.partition(":")
    path = unquote(parts.path)
    directory, target = split_path(path) if path else ("", "")
    fields = [parts.scheme, unquote(userinfo), unquote(name), str(int(port)) if port else "",
              directory, target, unquote(parts.query), unquote(parts.fragment)]
    return "|".join(shown(f) for f in fields) + "|"


def same(have, want):
    scheme, _, rest = have.partition("|")
    w_scheme, _, w_rest = want.partition("|")
    return scheme.lower() == w_scheme.lower() and rest == w_rest


script = ["""part: func [v] [either v [enhex form v] [""]]
show: func [u /local o out] [
    o: decode-url u
    if none? o [print "none" exit]
    out: copy ""
    foreach v reduce [o/scheme o/user-info o/host o/port o/path o/target o/query o/fragment] [
        append append out part v "|"
    ]
    print out
]"""]
urls = ["x:x", "x:/a/.", "x:/", "x:", "x://", "x://h", "x://h/", "x://[::1]", "x://u@:1",
        "x:a%2Fb", "x://h?#", "x:%E2%82%AC/%c3%a9"]
urls += [url() for _ in range(10000 - len(urls))]
for u in urls:
    script.append(f'show "{u}"')
reference.check(run, script, [wanted_line(u) for u in urls], same, labels=urls)
