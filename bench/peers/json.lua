-- json: a 20 MB JSON array read by a recursive decoder written in Lua, then its records summed.
local byte, sub, find, char, concat = string.byte, string.sub, string.find, string.char, table.concat
local text

local function skip(i)
  return (select(2, find(text, "^[ \t\r\n]*", i))) + 1
end

local function utf8(cp)
  if cp < 0x80 then return char(cp) end
  if cp < 0x800 then return char(0xC0 | (cp >> 6), 0x80 | (cp & 63)) end
  if cp < 0x10000 then return char(0xE0 | (cp >> 12), 0x80 | ((cp >> 6) & 63), 0x80 | (cp & 63)) end
  return char(0xF0 | (cp >> 18), 0x80 | ((cp >> 12) & 63), 0x80 | ((cp >> 6) & 63), 0x80 | (cp & 63))
end

local simple = { [34] = '"', [92] = "\\", [47] = "/", [98] = "\b", [102] = "\f", [110] = "\n",
                 [114] = "\r", [116] = "\t" }

local value

local function str(i)
  local parts, from = nil, i + 1
  while true do
    local q = find(text, '["\\]', from)
    if not q then error("unterminated string") end
    if byte(text, q) == 34 then
      if not parts then return sub(text, i + 1, q - 1), q + 1 end
      parts[#parts + 1] = sub(text, from, q - 1)
      return concat(parts), q + 1
    end
    parts = parts or {}
    parts[#parts + 1] = sub(text, from, q - 1)
    local e = byte(text, q + 1)
    if e == 117 then
      local cp = tonumber(sub(text, q + 2, q + 5), 16)
      from = q + 6
      if cp >= 0xD800 and cp < 0xDC00 and sub(text, from, from + 1) == "\\u" then
        cp = 0x10000 + ((cp - 0xD800) << 10) + tonumber(sub(text, from + 2, from + 5), 16) - 0xDC00
        from = from + 6
      end
      parts[#parts + 1] = utf8(cp)
    else
      parts[#parts + 1] = simple[e] or error("bad escape")
      from = q + 2
    end
  end
end

value = function(i)
  i = skip(i)
  local c = byte(text, i)
  if c == 91 then
    local list, n = {}, 0
    i = skip(i + 1)
    if byte(text, i) == 93 then return list, i + 1 end
    while true do
      n = n + 1
      list[n], i = value(i)
      i = skip(i)
      c = byte(text, i)
      if c == 93 then return list, i + 1 end
      if c ~= 44 then error("expected , or ]") end
      i = i + 1
    end
  elseif c == 123 then
    local map = {}
    i = skip(i + 1)
    if byte(text, i) == 125 then return map, i + 1 end
    while true do
      local key
      key, i = str(skip(i))
      i = skip(i)
      if byte(text, i) ~= 58 then error("expected :") end
      map[key], i = value(i + 1)
      i = skip(i)
      c = byte(text, i)
      if c == 125 then return map, i + 1 end
      if c ~= 44 then error("expected , or }") end
      i = i + 1
    end
  elseif c == 34 then
    return str(i)
  elseif c == 116 then
    return true, i + 4
  elseif c == 102 then
    return false, i + 5
  elseif c == 110 then
    return nil, i + 4
  end
  local s, e = find(text, "^-?%d+%.?%d*[eE]?[-+]?%d*", i)
  if not s then error("unexpected character") end
  return tonumber(sub(text, s, e)), e + 1
end

local f = assert(io.open("/tmp/nuv-bench-data/data.json", "rb"))
text = f:read("a")
f:close()
local data = value(1)
local ids, tags = 0, 0
for k = 1, #data do
  ids = ids + data[k].id
  tags = tags + #data[k].tags
end
print(#data, ids, tags)
