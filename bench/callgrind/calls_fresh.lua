-- calls_fresh: calls with names the boot never made
local function bump(val) return val + 1 end
local tally = 0
for _ = 1, 100000 do tally = bump(tally) end
print(tally)
