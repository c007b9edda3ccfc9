-- floatfmt_fresh: floatfmt with names the boot never made
local rounds, modulus = 1000000, 2147483647
local function shortest(mag)
  for digits = 15, 17 do
    local text = string.format("%." .. digits .. "g", mag)
    if tonumber(text) == mag then return text end
  end
end
local cur, sum_len = 44, 0
for _ = 1, rounds do
  cur = cur * 16807 % modulus
  local mag = cur / modulus * 10.0 ^ (cur % 41 - 20)
  if cur % 7 == 0 then mag = -mag end
  sum_len = sum_len + #shortest(mag)
end
print(sum_len)
