# 10,000,000 random doubles sorted, twice: numpy's sort (the values), and for
# comparison in the second line its argsort (the order, what VectSort gives).
import sys
import numpy as np
x = np.random.default_rng(3).random(10000000) * 2 - 1
for _ in range(2):
    y = np.argsort(x) if len(sys.argv) > 1 else np.sort(x)
print(y[0])
