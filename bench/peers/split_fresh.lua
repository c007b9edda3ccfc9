-- split_fresh: split with names the boot never made
local f = assert(io.open("/tmp/nuv-bench-data/src.txt", "rb"))
local src_body = f:read("a")
f:close()
local cut_up = {}
local from = 1
while true do
    local found = src_body:find("\n", from, true)
    if not found then
        cut_up[#cut_up + 1] = src_body:sub(from)
        break
    end
    cut_up[#cut_up + 1] = src_body:sub(from, found - 1)
    from = found + 1
end
local glued = table.concat(cut_up)
print(#cut_up, #glued)
