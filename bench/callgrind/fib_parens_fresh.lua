-- fib_parens_fresh: fib_parens with names the boot never made
local function fib_of(num)
  if num < 2 then return num end
  return fib_of(num - 1) + fib_of(num - 2)
end
print(fib_of(25))
