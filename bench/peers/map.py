# map: a million string keys k<i>, a million hits, a hundred thousand misses
n = 1_000_000
m = {}
for i in range(n):
    m["k" + str(i)] = i
s = 0
for i in range(n):
    s += m["k" + str(i)]
miss = 0
for i in range(n, n + n // 10):
    if ("k" + str(i)) not in m:
        miss += 1
print(len(m), s, miss)
