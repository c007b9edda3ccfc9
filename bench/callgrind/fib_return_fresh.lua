-- fib_return_fresh: fib_return with names the boot never made
local function fib_of(num)
  if num < 2 then return num end
  return fib_of(num - 1) + fib_of(num - 2)
end
print(fib_of(25))
