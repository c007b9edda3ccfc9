"""Random money! sums, differences, products and quotients compared with Python's decimal
module, each truncated to 5 decimal places as money! keeps them; a quotient of two amounts is
the float of the truncated quotient. Usage: money_reference.py NUV-RUN."""
import decimal
import os
import random
import subprocess
import sys
import tempfile

from decimal import Decimal

run = sys.argv[1]
rng = random.Random(2217)
decimal.getcontext().prec = 60
PLACES = Decimal("0.00001")


def amount(rng):
    digits = rng.randrange(0, 12)
    whole = rng.randrange(10 ** digits)
    fraction = rng.randrange(100000)
    sign = rng.choice([-1, 1])
    return sign * (Decimal(whole) + Decimal(fraction) / 100000)


def money_text(d):
    d = d.quantize(PLACES, rounding=decimal.ROUND_DOWN)
    return ("-" if d < 0 else "") + "$" + format(abs(d), "f")


script = []
wanted = []
for _ in range(5000):
    a, b = amount(rng), amount(rng)
    k = rng.randrange(-99999, 100000) or 1
    ta, tb = money_text(a), money_text(b)
    for op, value in (("+", a + b), ("-", a - b), ("*", a * k), ("/", a / k)):
        right = tb if op in "+-" else str(k)
        script.append(f"print mold/all {ta} {op} {right}")
        wanted.append(money_text(value))
    if b != 0:
        script.append(f"print mold {ta} / {tb}")
        wanted.append(float((a / b).quantize(PLACES, rounding=decimal.ROUND_DOWN)))

with tempfile.NamedTemporaryFile("w", suffix=".nuv", delete=False) as f:
    f.write("Nuv []\n" + "\n".join(script) + "\n")
    path = f.name
out = subprocess.run([run, path], capture_output=True, text=True, check=False)
os.unlink(path)
got = out.stdout.split("\n")
failed = 0
for i, want in enumerate(wanted):
    have = got[i] if i < len(got) else "<nothing>"
    if isinstance(want, float):
        try:
            same = float(have) == want
        except ValueError:
            same = False
    else:
        same = have == want
    if not same:
        failed += 1
        if failed <= 5:
            print(f"FAIL {script[i][:120]}\n  wanted: {want}\n     got: {have[:120]}")
if out.returncode != 0:
    print(f"nuv-run exited with {out.returncode}: {out.stdout[-400:]}")
    failed += 1
print(f"{len(wanted) - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
