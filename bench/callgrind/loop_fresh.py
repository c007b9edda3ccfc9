# loop_fresh: loop with names the boot never made
stop_at = 1_000_000
total = 0
idx = 0
while idx < stop_at:
    total += idx
    idx += 1
print(total)
