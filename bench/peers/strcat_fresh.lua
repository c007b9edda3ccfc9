-- strcat_fresh: strcat with names the boot never made
local pieces = 1000000
local parts_of = {}
for idx = 0, pieces - 1 do parts_of[#parts_of + 1] = "item" .. idx .. ";" end
print(#table.concat(parts_of))
