x = 0.0
for i in range(10000000):
    x = x + i * 0.5
print(x)
