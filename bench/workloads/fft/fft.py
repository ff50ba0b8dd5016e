# The Fourier transform of 2^20 random doubles, twenty times.
import numpy as np
x = np.random.default_rng(12345).random(1 << 20)
for _ in range(20):
    y = np.fft.fft(x)
print(y[1].real)
