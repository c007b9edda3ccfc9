-- calls_return_fresh: calls_return with names the boot never made
-- (Lua has only the one form; this is the same program as calls_fresh.lua)
local function bump(val) return val + 1 end
local tally = 0
for _ = 1, 100000 do tally = bump(tally) end
print(tally)
