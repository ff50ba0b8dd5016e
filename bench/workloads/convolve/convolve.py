# 1,000,000 random doubles convolved with a 31-tap kernel (zero padding, the
# output as long as the input), twenty times. Convolve lays the kernel over the
# data without reversing it, which is numpy's correlate.
import numpy as np
x = np.random.default_rng(1).random(1000000)
k = np.random.default_rng(2).random(31)
for _ in range(20):
    y = np.correlate(x, k, 'same')
print(y[500000])
