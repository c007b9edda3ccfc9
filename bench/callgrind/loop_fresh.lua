-- loop_fresh: loop with names the boot never made
local stop_at = 1000000
local total, idx = 0, 0
while idx < stop_at do
  total = total + idx
  idx = idx + 1
end
print(total)
