# money_fresh: money with names the boot never made
from decimal import Decimal

purse = Decimal(0)
coin = Decimal("1.23456")
for _ in range(1_000_000):
    purse += coin
print(purse)
