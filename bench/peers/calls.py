# calls: one million calls of a small function
def step(x):
    return x + 1


n = 0
for _ in range(1_000_000):
    n = step(n)
print(n)
