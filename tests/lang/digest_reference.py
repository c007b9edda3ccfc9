"""checksum over random binaries of up to 1 MB and random texts: CRC-32 and Adler-32 against
zlib, the internet checksum against RFC 1071 on even lengths (an odd last byte counts as the
low byte, where RFC 1071 makes it the high one), the five digests against hashlib and their
HMAC against hmac with keys on both sides of each digest's block size.
Usage: digest_reference.py NUV-RUN."""
import hashlib
import hmac
import random
import sys
import zlib

import reference

run = sys.argv[1]
rng = random.Random(2104)
DIGESTS = {"md5": 64, "sha1": 64, "sha256": 64, "sha384": 128, "sha512": 128}


def signed(value):
    return value - (1 << 32) if value >= 1 << 31 else value


def internet(data):
    total = 0
    for i in range(0, len(data) - 1, 2):
        total += data[i] << 8 | data[i + 1]
    if len(data) % 2:
        total += data[-1]
    total = (total >> 16) + (total & 0xFFFF)
    total += total >> 16
    return ~total & 0xFFFF


def hex_of(data):
    return "#{" + data.hex().upper() + "}"


def text_literal(text):
    return '"' + text.replace("^", "^^").replace('"', '^"') + '"'


def random_text(length):
    ranges = [(0x20, 0x7E), (0xA0, 0x7FF), (0x4E00, 0x9FFF), (0x1F600, 0x1F64F)]
    chars = []
    for _ in range(length):
        low, high = rng.choice(ranges)
        chars.append(chr(rng.randint(low, high)))
    return "".join(chars)


# Lengths at the edges that matter (the digests' blocks, the Adler-32 reduction block, CRC-32's
# eight-byte steps) and random ones up to 1 MB.
lengths = [0, 1, 2, 3, 7, 8, 9, 55, 56, 63, 64, 65, 111, 112, 127, 128, 129, 3853, 3854, 3855,
           5552, 5553, 65536, 1 << 20]
lengths += [int(10 ** rng.uniform(0, 6)) for _ in range(24)]

script, wanted, labels = [], [], []


def case(code, want, label):
    script.append(f"print {code}")
    wanted.append(want)
    labels.append(label)


for n in lengths:
    data = rng.randbytes(n)
    script.append(f"d: {hex_of(data)}")
    name = f"{n} random bytes"
    case("checksum d 'crc32", str(signed(zlib.crc32(data))), f"crc32 of {name}")
    case("checksum d 'adler32", str(signed(zlib.adler32(data))), f"adler32 of {name}")
    case("checksum d 'tcp", str(internet(data)), f"tcp of {name}")
    if n % 2 == 0:
        assert internet(data) == internet(data + b"\0")  # RFC 1071's padding agrees here
    for method, block in DIGESTS.items():
        case(f"mold/flat checksum d '{method}", hex_of(hashlib.new(method, data).digest()),
             f"{method} of {name}")
    if n > 70000:
        continue  # HMAC over the smaller inputs; the large ones have checked the digests
    for method, block in DIGESTS.items():
        for key_length in (0, 1, block - 1, block, block + 1, 2 * block + 3):
            key = rng.randbytes(key_length)
            mac = hmac.new(key, data, method).digest()
            case(f"mold/flat checksum/with d '{method} {hex_of(key)}", hex_of(mac),
                 f"hmac-{method} of {name}, key of {key_length}")

for n in (0, 1, 5, 40, 300, 5000):
    text = random_text(n)
    utf8 = text.encode("utf-8")
    script.append(f"t: {text_literal(text)}")
    name = f"a text of {n} characters"
    case("checksum t 'crc32", str(signed(zlib.crc32(utf8))), f"crc32 of {name}")
    case("checksum t 'adler32", str(signed(zlib.adler32(utf8))), f"adler32 of {name}")
    for method, block in DIGESTS.items():
        case(f"mold/flat checksum t '{method}", hex_of(hashlib.new(method, utf8).digest()),
             f"{method} of {name}")
        key = random_text(block // 3 + 1)
        mac = hmac.new(key.encode("utf-8"), utf8, method).digest()
        case(f"mold/flat checksum/with t '{method} {text_literal(key)}", hex_of(mac),
             f"hmac-{method} of {name} with a text key")

reference.check(run, script, wanted, labels=labels)
