# strcat: one string from a million pieces item<i>;
n = 1_000_000
parts = []
for i in range(n):
    parts.append("item" + str(i) + ";")
print(len("".join(parts)))
