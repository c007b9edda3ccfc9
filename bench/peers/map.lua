-- map: a million string keys k<i>, a million hits, a hundred thousand misses
local n = 1000000
local m, count = {}, 0
for i = 0, n - 1 do
  m["k" .. i] = i
  count = count + 1
end
local s = 0
for i = 0, n - 1 do
  s = s + m["k" .. i]
end
local miss = 0
for i = n, n + n // 10 - 1 do
  if m["k" .. i] == nil then miss = miss + 1 end
end
print(string.format("%d %d %d", count, s, miss))
