# replace: every e of a source text made E, with str.replace.
source_text = open("/tmp/nuv-bench-data/src.txt", encoding="ascii").read()
replaced = source_text.replace("e", "E")
print(len(replaced), replaced.rfind("E") + 1, int("e" in replaced))
