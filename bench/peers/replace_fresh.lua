-- replace: every e of a source text made E, with string.gsub over a plain pattern.
local f = assert(io.open("/tmp/nuv-bench-data/src.txt", "rb"))
local source_text = f:read("a")
f:close()
local replaced = source_text:gsub("e", "E")
local last_e = #replaced - replaced:reverse():find("E", 1, true) + 1
print(#replaced, last_e, replaced:find("e", 1, true) and 1 or 0)
