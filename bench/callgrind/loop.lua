-- loop: the sum of i for i from 0 below 1M, in a while loop
local n = 1000000
local s, i = 0, 0
while i < n do
  s = s + i
  i = i + 1
end
print(s)
