-- calls: 100,000 calls of a small function
local function step(x) return x + 1 end
local n = 0
for _ = 1, 100000 do n = step(n) end
print(n)
