# calls: 100,000 calls of a small function
def step(x):
    return x + 1


n = 0
for _ in range(100_000):
    n = step(n)
print(n)
