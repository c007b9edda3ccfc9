-- split: a source text cut into its lines at LF and joined again.
local f = assert(io.open("/tmp/nuv-bench-data/src.txt", "rb"))
local text = f:read("a")
f:close()
local lines = {}
local pos = 1
while true do
    local at = text:find("\n", pos, true)
    if not at then
        lines[#lines + 1] = text:sub(pos)
        break
    end
    lines[#lines + 1] = text:sub(pos, at - 1)
    pos = at + 1
end
local joined = table.concat(lines)
print(#lines, #joined)
