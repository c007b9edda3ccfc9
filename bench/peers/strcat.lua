-- strcat: one string from a million pieces item<i>;
local n = 1000000
local parts = {}
for i = 0, n - 1 do parts[#parts + 1] = "item" .. i .. ";" end
print(#table.concat(parts))
