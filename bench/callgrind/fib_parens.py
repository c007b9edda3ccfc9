# fib_parens: the twin of fib_parens.nuv, the same recursion, 242,785 calls
def fib(n):
    if n < 2:
        return n
    return fib(n - 1) + fib(n - 2)


print(fib(25))
