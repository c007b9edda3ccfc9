# strcat_fresh: strcat with names the boot never made
pieces = 1_000_000
parts_of = []
for idx in range(pieces):
    parts_of.append("item" + str(idx) + ";")
print(len("".join(parts_of)))
