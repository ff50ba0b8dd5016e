# The same mixed arithmetic expression, evaluated 5,000,000 times.
x, y = 3.5, 11.0
r = 0.0
for i in range(5000000):
    r = x * 2.5 + (y - 3) / 7 - x * y % 5 + 2 ** 3
print(r)
