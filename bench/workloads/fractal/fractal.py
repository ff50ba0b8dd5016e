# Escape counts of z <- z^2 + c (at most 100 iterations) for the 2000 x 2000
# points c of [-2, 1] x [-1.5, 1.5], as numpy code iterates the points still
# inside. Prints the same sum as the macro.
import numpy as np
n = 2000
axis = (np.arange(n) - (n - 1) / 2) * 0.0015
c = (axis[np.newaxis, :] - 0.5) + 1j * axis[:, np.newaxis]
c = c.ravel()
counts = np.full(c.shape, 100.0)
index = np.arange(c.size)
z = np.zeros_like(c)
for i in range(100):
    z = z * z + c
    out = z.real * z.real + z.imag * z.imag > 4
    counts[index[out]] = i + 1
    keep = ~out
    z, c, index = z[keep], c[keep], index[keep]
print(counts.sum())
