# calls_return: 100,000 calls of a small function that ends with return
# (Python has only the one form; this is the same program as calls.py)
def step(x):
    return x + 1


n = 0
for _ in range(100_000):
    n = step(n)
print(n)
