# The image workloads of bench/pixory_bench.cpp with OpenCV: a 4096 x 4096 image,
# each operation five times. An optional third argument sets OpenCV's threads.
import sys
import time
import cv2
import numpy as np

size, rounds = 4096, 5
workload, folder = sys.argv[1], sys.argv[2]
if len(sys.argv) > 3:
    cv2.setNumThreads(int(sys.argv[3]))
y, x = np.mgrid[0:size, 0:size * (3 if workload == "jpeg" else 1)]
image = ((x * 7 + y * 13 + ((x * y) >> 5)) & 0xFF).astype(np.uint8)
if workload == "jpeg":
    image = image.reshape(size, size, 3)
    # The same picture for the command-line JPEG tools.
    cv2.imwrite(folder + "/pattern.ppm", image)
start = time.perf_counter()
if workload == "sprites":
    # 1000 sprites of 64 x 64 (a ring, 0 outside) pasted with their mask into a
    # 1920 x 1080 picture, 100 frames at 8 bits and 100 at 24; every fourth sprite
    # mirrored and opaque, as in pixory_bench.
    start = time.perf_counter()
    sy, sx = np.mgrid[0:64, 0:64 * 8]
    r2 = (sx % 64 - 32) ** 2 + (sy - 32) ** 2
    sheet = np.where((r2 < 900) & (r2 > 100), (sx * 3 + sy) % 250 + 1, 0).astype(np.uint8)
    places = [((i * 7919) % (1920 + 64) - 32, (i * 104729) % (1080 + 64) - 32) for i in range(1000)]
    start = time.perf_counter()
    for channels in (1, 3):
        cells = [np.repeat(sheet[:, k * 64:(k + 1) * 64, None], channels, axis=2) for k in range(8)]
        target = np.zeros((1080, 1920, channels), np.uint8)
        for _ in range(100):
            for i, (x, y) in enumerate(places):
                cell = cells[i % 8]
                if i % 4 == 0:
                    cell = cell[:, ::-1]
                x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + 64, 1920), min(y + 64, 1080)
                if x0 >= x1 or y0 >= y1:
                    continue
                part = cell[y0 - y:y1 - y, x0 - x:x1 - x]
                view = target[y0:y1, x0:x1]
                if i % 4 == 0:
                    view[...] = part
                else:
                    np.copyto(view, part, where=part != 0)
elif workload == "paint":
    # What showing the window's part of the picture takes without the library:
    # nearest-neighbour scaling of the visible region to 1000 x 1000 and the grey
    # colour table applied into a 32-bit picture, at zoom 1/4 and 4, 20 times each.
    start = time.perf_counter()
    for zoom in (0.25, 4.0):
        x0, y0 = (0, 0) if zoom < 1 else (1000, 1000)
        w, h = int(1000 / zoom), int(1000 / zoom)
        part = image[max(0, size - y0 - h):size - y0, x0:x0 + w]
        for _ in range(20):
            shown = cv2.resize(part, None, fx=zoom, fy=zoom, interpolation=cv2.INTER_NEAREST)
            rgba = cv2.cvtColor(shown, cv2.COLOR_GRAY2BGRA)
elif workload in ("resize", "resize-cubic"):
    # 4096 x 4096 to 2048 x 2048.
    how = cv2.INTER_LINEAR if workload == "resize" else cv2.INTER_CUBIC
    for _ in range(rounds):
        small = cv2.resize(image, (size // 2, size // 2), interpolation=how)
elif workload in ("rotate", "rotate-cubic"):
    # A turn by 10 degrees about the centre.
    how = cv2.INTER_LINEAR if workload == "rotate" else cv2.INTER_CUBIC
    turn = cv2.getRotationMatrix2D(((size - 1) / 2, (size - 1) / 2), 10, 1)
    for _ in range(rounds):
        turned = cv2.warpAffine(image, turn, (size, size), flags=how)
elif workload == "smooth3":
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
