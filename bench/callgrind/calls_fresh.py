# calls_fresh: calls with names the boot never made
def bump(val):
    return val + 1


tally = 0
for _ in range(100_000):
    tally = bump(tally)
print(tally)
