# The product of two 300-by-300 matrices, twenty times.
import numpy as np
rng = np.random.default_rng(12345)
a = rng.random((300, 300))
b = rng.random((300, 300))
for _ in range(20):
    c = a @ b
print(c[0, 0])
