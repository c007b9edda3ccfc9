# floatfmt_fresh: floatfmt with names the boot never made
rounds = 1_000_000
modulus = 2147483647
cur = 44
sum_len = 0
for _ in range(rounds):
    cur = cur * 16807 % modulus
    mag = cur / modulus * 10.0 ** (cur % 41 - 20)
    if cur % 7 == 0:
        mag = -mag
    sum_len += len(repr(mag))
print(sum_len)
