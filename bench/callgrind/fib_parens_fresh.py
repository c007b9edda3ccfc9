# fib_parens_fresh: fib_parens with names the boot never made
def fib_of(num):
    if num < 2:
        return num
    return fib_of(num - 1) + fib_of(num - 2)


print(fib_of(25))
