-- pattern: set-words, decimals and digit runs in a source text, with Lua patterns.
local f = assert(io.open("/tmp/nuv-bench-data/src.txt", "rb"))
local text = f:read("a")
f:close()
local colon_names = 0
for _ in text:gmatch("%a[%w%-]*:") do colon_names = colon_names + 1 end
local decimals = 0
for _ in text:gmatch("%d+%.%d+") do decimals = decimals + 1 end
local out, nsub = text:gsub("%d+", "#")
print(colon_names, decimals, nsub, #out)
