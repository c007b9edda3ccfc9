# floatfmt: a million floats to their shortest round-trip text, the sum of the lengths
n = 1_000_000
m = 2147483647
x = 44
total = 0
for _ in range(n):
    x = x * 16807 % m
    v = x / m * 10.0 ** (x % 41 - 20)
    if x % 7 == 0:
        v = -v
    total += len(repr(v))
print(total)
