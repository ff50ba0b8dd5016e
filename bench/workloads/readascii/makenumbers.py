# Writes the benchmark's input once: 100 MB of decimal numbers, eight to a
# line, the same every time (a fixed seed). Usage: numbers.py PATH
import os
import random
import sys

path = sys.argv[1]
size = 100 * 1000 * 1000
if not (os.path.exists(path) and os.path.getsize(path) >= size):
    rng = random.Random(20240601)
    with open(path + ".part", "w") as out:
        written = 0
        while written < size:
            line = " ".join("%.6f" % rng.uniform(-1000, 1000) for _ in range(8)) + "\n"
            out.write(line)
            written += len(line)
    os.replace(path + ".part", path)
