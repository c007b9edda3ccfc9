-- replace: every e of a source text made E, with string.gsub over a plain pattern.
local f = assert(io.open("/tmp/nuv-bench-data/src.txt", "rb"))
local text = f:read("a")
f:close()
local out = text:gsub("e", "E")
local last = #out - out:reverse():find("E", 1, true) + 1
print(#out, last, out:find("e", 1, true) and 1 or 0)
