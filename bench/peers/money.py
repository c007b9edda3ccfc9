# money: 1M additions of an exact decimal amount
from decimal import Decimal

s = Decimal(0)
step = Decimal("1.23456")
for _ in range(1_000_000):
    s += step
print(s)
