# sort: one million Park-Miller integers, sorted; the first, middle and last
n = 1_000_000
x = 42
a = []
for _ in range(n):
    x = x * 16807 % 2147483647
    a.append(x)
a.sort()
print(a[0], a[n // 2], a[-1])
