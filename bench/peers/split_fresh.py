# split_fresh: split with names the boot never made
src_body = open("/tmp/nuv-bench-data/src.txt", encoding="ascii").read()
cut_up = src_body.split("\n")
glued = "".join(cut_up)
print(len(cut_up), len(glued))
