-- gc_fresh: gc with names the boot never made
local live_set = {}
for k = 1, 10000 do
  local row = {}
  for idx = 1, 100 do row[idx] = idx end
  live_set[k] = row
end
for _ = 1, 10000 do local dropped = {} for idx = 1, 100 do dropped[idx] = false end end
for _ = 1, 10 do collectgarbage("collect") end
local tally = 0
for _, row in ipairs(live_set) do tally = tally + #row end
print(tally)
