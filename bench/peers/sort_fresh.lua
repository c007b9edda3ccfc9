-- sort_fresh: sort with names the boot never made
local items = 1000000
local rand_x, lst = 42, {}
for idx = 1, items do
  rand_x = rand_x * 16807 % 2147483647
  lst[idx] = rand_x
end
table.sort(lst)
print(string.format("%d %d %d", lst[1], lst[items // 2 + 1], lst[items]))
