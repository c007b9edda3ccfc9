# fib: recursive Fibonacci of 25, 242,785 calls
def fib(n):
    if n < 2:
        return n
    return fib(n - 1) + fib(n - 2)


print(fib(25))
