-- reactivity_fresh: reactivity with other names
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

local feeder = reactor({quantity = 0})
local mirror = reactor({twice = 0})
local function follow() mirror.twice = feeder.quantity * 2 end
table.insert(feeder.relations, {"quantity", follow})
follow()
local step_no = 0
for _ = 1, 100000 do
  step_no = step_no + 1
  feeder.quantity = step_no
end
print(mirror.twice)
