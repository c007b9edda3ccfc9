-- gc: ten full collections over a heap of a million live cells
local live = {}
for k = 1, 10000 do
  local b = {}
  for i = 1, 100 do b[i] = i end
  live[k] = b
end
for _ = 1, 10000 do local dropped = {} for i = 1, 100 do dropped[i] = false end end
for _ = 1, 10 do collectgarbage("collect") end
local n = 0
for _, b in ipairs(live) do n = n + #b end
print(n)
