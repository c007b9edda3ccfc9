# split: a source text cut into its lines at LF and joined again.
text = open("/tmp/nuv-bench-data/src.txt", encoding="ascii").read()
lines = text.split("\n")
joined = "".join(lines)
print(len(lines), len(joined))
