-- map_fresh: map with names the boot never made
local keys_wanted = 1000000
local table_of, count_of = {}, 0
for idx = 0, keys_wanted - 1 do
  table_of["k" .. idx] = idx
  count_of = count_of + 1
end
local total = 0
for idx = 0, keys_wanted - 1 do
  total = total + table_of["k" .. idx]
end
local missed = 0
for idx = keys_wanted, keys_wanted + keys_wanted // 10 - 1 do
  if table_of["k" .. idx] == nil then missed = missed + 1 end
end
print(string.format("%d %d %d", count_of, total, missed))
