# gc: ten full collections over a heap of a million live cells
import gc

live = []
for _ in range(10000):
    b = []
    for i in range(1, 101):
        b.append(i)
    live.append(b)
for _ in range(10000):
    [None] * 100
for _ in range(10):
    gc.collect()
print(sum(len(b) for b in live))
