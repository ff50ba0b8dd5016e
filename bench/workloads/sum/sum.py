# The sum of 10,000,000 elements, twenty times.
import numpy as np
a = np.arange(10000000, dtype=np.float64)
for _ in range(20):
    s = a.sum()
print(s)
