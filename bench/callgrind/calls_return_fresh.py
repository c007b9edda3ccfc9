# calls_return_fresh: calls_return with names the boot never made
# (Python has only the one form; this is the same program as calls_fresh.py)
def bump(val):
    return val + 1


tally = 0
for _ in range(100_000):
    tally = bump(tally)
print(tally)
