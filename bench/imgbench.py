# The image workloads of bench/pixory_bench.cpp with OpenCV: a 4096 x 4096 image,
# each operation five times.
import sys
import time
import cv2
import numpy as np

size, rounds = 4096, 5
workload, folder = sys.argv[1], sys.argv[2]
y, x = np.mgrid[0:size, 0:size * (3 if workload == "jpeg" else 1)]
image = ((x * 7 + y * 13 + ((x * y) >> 5)) & 0xFF).astype(np.uint8)
if workload == "jpeg":
    image = image.reshape(size, size, 3)
    # The same picture for the command-line JPEG tools.
    cv2.imwrite(folder + "/pattern.ppm", image)
start = time.perf_counter()
if workload == "smooth3":
    for _ in range(rounds):
        image = cv2.blur(image, (3, 3))
elif workload in ("add", "subtract"):
    other = image.copy()
    for _ in range(rounds):
        result = cv2.add(image, other) if workload == "add" else cv2.subtract(image, other)
else:
    path = folder + "/opencv." + {"jpeg": "jpg", "bmp": "bmp", "tiff": "tif"}[workload]
    # OpenCV here cannot choose the colour sampling: it halves it (4:2:0), which
    # is less work than the library's full sampling at quality 90.
    params = [cv2.IMWRITE_JPEG_QUALITY, 90] if workload == "jpeg" else []
    for _ in range(rounds):
        cv2.imwrite(path, image, params)
        back = cv2.imread(path, cv2.IMREAD_UNCHANGED)
print("seconds: %.6f" % (time.perf_counter() - start))
