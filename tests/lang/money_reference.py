"""Random money! sums, differences, products and quotients compared with Python's decimal
module, each truncated to 5 decimal places as money! keeps them; a quotient of two amounts is
the float of the truncated quotient. Usage: money_reference.py NUV-RUN."""
import decimal
import random
import sys

from decimal import Decimal

import reference

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



def same(have, want):
    if not isinstance(want, float):
        return have == want
    try:
        return float(have) == want
    except ValueError:
        return False


reference.check(run, script, wanted, same)
