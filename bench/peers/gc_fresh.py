# gc_fresh: gc with names the boot never made
import gc

live_set = []
for _ in range(10000):
    row = []
    for idx in range(1, 101):
        row.append(idx)
    live_set.append(row)
for _ in range(10000):
    [None] * 100
for _ in range(10):
    gc.collect()
print(sum(len(row) for row in live_set))
