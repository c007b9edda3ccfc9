-- reactivity: 100,000 changes of a reactive field with one relation
local function reactor(fields)
  local values, relations = fields, {}
  local proxy = setmetatable({relations = relations}, {
    __index = values,
    __newindex = function(_, name, value)
      values[name] = value
      for _, r in ipairs(relations) do
        if r[1] == name then r[2]() end
      end
    end,
  })
  return proxy
end

local src = reactor({x = 0})
local dst = reactor({y = 0})
local function relation() dst.y = src.x * 2 end
table.insert(src.relations, {"x", relation})
relation()
local i = 0
for _ = 1, 100000 do
  i = i + 1
  src.x = i
end
print(dst.y)
