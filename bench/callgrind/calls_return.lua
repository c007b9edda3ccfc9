-- calls_return: 100,000 calls of a small function that ends with return
-- (Lua has only the one form; this is the same program as calls.lua)
local function step(x) return x + 1 end
local n = 0
for _ = 1, 100000 do n = step(n) end
print(n)
