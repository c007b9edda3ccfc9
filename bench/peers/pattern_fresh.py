# pattern: set-words, decimals and digit runs in a source text, with re.
import re

text = open("/tmp/nuv-bench-data/src.txt", encoding="ascii").read()
colon_names = sum(1 for _ in re.finditer(r"[A-Za-z][A-Za-z0-9-]*:", text))
decimals = sum(1 for _ in re.finditer(r"[0-9]+\.[0-9]+", text))
out, nsub = re.subn(r"[0-9]+", "#", text)
print(colon_names, decimals, nsub, len(out))
