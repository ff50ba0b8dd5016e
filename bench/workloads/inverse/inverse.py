# The inverse of a 300-by-300 matrix, twenty times.
import numpy as np
rng = np.random.default_rng(12345)
a = rng.random((300, 300))
for _ in range(20):
    c = np.linalg.inv(a)
print(c[0, 0])
