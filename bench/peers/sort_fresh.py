# sort_fresh: sort with names the boot never made
items = 1_000_000
rand_x = 42
lst = []
for _ in range(items):
    rand_x = rand_x * 16807 % 2147483647
    lst.append(rand_x)
lst.sort()
print(lst[0], lst[items // 2], lst[-1])
