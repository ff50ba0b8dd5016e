# c = a * b + 2 on 10,000,000 doubles, ten times.
import numpy as np
a = np.arange(10000000, dtype=np.float64)
b = np.arange(10000000, dtype=np.float64) * 0.5
for _ in range(10):
    c = a * b + 2
print(c[-1])
