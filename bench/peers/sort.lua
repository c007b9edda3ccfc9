-- sort: one million Park-Miller integers, sorted; the first, middle and last
local n = 1000000
local x, a = 42, {}
for i = 1, n do
  x = x * 16807 % 2147483647
  a[i] = x
end
table.sort(a)
print(string.format("%d %d %d", a[1], a[n // 2 + 1], a[n]))
