# map_fresh: map with names the boot never made
keys_wanted = 1_000_000
table_of = {}
for idx in range(keys_wanted):
    table_of["k" + str(idx)] = idx
total = 0
for idx in range(keys_wanted):
    total += table_of["k" + str(idx)]
missed = 0
for idx in range(keys_wanted, keys_wanted + keys_wanted // 10):
    if ("k" + str(idx)) not in table_of:
        missed += 1
print(len(table_of), total, missed)
