# replace: every e of a source text made E, with str.replace.
text = open("/tmp/nuv-bench-data/src.txt", encoding="ascii").read()
out = text.replace("e", "E")
print(len(out), out.rfind("E") + 1, int("e" in out))
