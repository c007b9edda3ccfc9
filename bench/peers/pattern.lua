-- pattern: set-words, decimals and digit runs in a source text, with Lua patterns.
local f = assert(io.open("/tmp/nuv-bench-data/src.txt", "rb"))
local text = f:read("a")
f:close()
local setwords = 0
for _ in text:gmatch("%a[%w%-]*:") do setwords = setwords + 1 end
local floats = 0
for _ in text:gmatch("%d+%.%d+") do floats = floats + 1 end
local out, nsub = text:gsub("%d+", "#")
print(setwords, floats, nsub, #out)
