# loop: the sum of i for i from 0 below 1M, in a while loop
n = 1_000_000
s = 0
i = 0
while i < n:
    s += i
    i += 1
print(s)
