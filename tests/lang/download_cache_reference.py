"""path-thru over random URLs: each entry is the MD5 digest of the URL's formed text in upper
case, in the folder named by its first two digits, against hashlib; the formed text against
urllib's unquote of the URL as written. HOME is a fresh folder, removed afterwards.
Usage: download_cache_reference.py NUV-RUN."""
import hashlib
import os
import random
import sys
import tempfile
from urllib.parse import unquote

import reference

run = sys.argv[1]
rng = random.Random(7102)
PLAIN = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~"
WIDE = "éüßñ中文字ёж"


def piece(low, high):
    out = []
    for _ in range(rng.randint(low, high)):
        roll = rng.random()
        if roll < 0.1:
            # an escape of a printable ASCII character, space and "/" among them
            out.append("%{:02X}".format(rng.randint(0x20, 0x7E)))
        elif roll < 0.15:
            out.append(rng.choice(WIDE))
        else:
            out.append(rng.choice(PLAIN))
    return "".join(out)


def random_url():
    url = rng.choice(["http", "https", "ftp"]) + "://" + piece(1, 12).replace("%", "p")
    if rng.random() < 0.3:
        url += ":" + str(rng.randint(1, 65535))
    for _ in range(rng.randint(0, 5)):
        url += "/" + piece(0, 10)
    if rng.random() < 0.3:
        url += "?" + piece(1, 6) + "=" + piece(0, 6)
    if rng.random() < 0.2:
        url += "#" + piece(1, 6)
    return url


with tempfile.TemporaryDirectory() as home:
    home = os.path.realpath(home)
    os.environ["HOME"] = home
    cache = home + "/.nuv/cache/"
    script, wanted, labels = [], [], []
    for _ in range(1000):
        url = random_url()
        formed = unquote(url)
        digest = hashlib.md5(formed.encode("utf-8")).hexdigest().upper()
        script.append(f"u: {url} prin form u prin tab print path-thru u")
        wanted.append(f"{formed}\t{cache}{digest[:2]}/{digest}")
        labels.append(url)
    reference.check(run, script, wanted, labels=labels)
