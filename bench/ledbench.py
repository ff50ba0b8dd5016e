# The LED-set workloads of bench/pixory_bench.cpp with numpy: the same 16 x 16 LEDs of
# 1024 x 1024 pixels, held as numpy would hold them (an array [y][x][led] of bytes),
# reduced with the same weight matrix by einsum, five times.
import sys
import time
import numpy as np

count, size, rounds = 16, 1024, 5
leds = count * count
workload = sys.argv[1]
j = np.arange(leds, dtype=np.int64)
x = np.arange(size, dtype=np.int64)[:, None]
r = np.empty((size, size, leds), np.uint8)
for y in range(size):
    r[y] = (j * 37 + x * 11 + y * 7 + (j * x * y) % 13) & 0xFF
if workload == "ledmatmul":
    w = (j * 7919 % 1000) / 1000.0 - 0.5
    start = time.perf_counter()
    for _ in range(rounds):
        out = np.einsum('yxk,k->yx', r, w)
else:
    w = j * 7919 % 1000 - 500
    start = time.perf_counter()
    for _ in range(rounds):
        out = np.clip((np.einsum('yxk,k->yx', r, w) + 1000000) >> 8, 0, 65535).astype(np.uint16)
print("seconds: %.6f" % (time.perf_counter() - start))
