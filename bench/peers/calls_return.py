# calls_return: one million calls of a small function that ends with return
# (Python has only the one form; this is the same program as calls.py)
def step(x):
    return x + 1


n = 0
for _ in range(1_000_000):
    n = step(n)
print(n)
