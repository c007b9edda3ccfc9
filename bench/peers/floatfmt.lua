-- floatfmt: a million floats to their shortest round-trip text, the sum of the lengths
local n, m = 1000000, 2147483647
local function shortest(v)
  for digits = 15, 17 do
    local s = string.format("%." .. digits .. "g", v)
    if tonumber(s) == v then return s end
  end
end
local x, total = 44, 0
for _ = 1, n do
  x = x * 16807 % m
  local v = x / m * 10.0 ^ (x % 41 - 20)
  if x % 7 == 0 then v = -v end
  total = total + #shortest(v)
end
print(total)
