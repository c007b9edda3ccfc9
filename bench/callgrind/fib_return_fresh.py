# fib_return_fresh: fib_return with names the boot never made
def fib_of(num):
    if num < 2:
        return num
    return fib_of(num - 1) + fib_of(num - 2)


print(fib_of(25))
