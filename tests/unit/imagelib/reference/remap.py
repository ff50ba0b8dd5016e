# OpenCV's remap as the reference for the resampling tests.
#   remap.py MODE SOURCE WIDTH HEIGHT CHANNELS MAPX MAPY DEST_WIDTH DEST_HEIGHT OUT
# SOURCE: raw 8-bit rows, top row first; MAPX, MAPY: float32 source positions of every
# destination pixel; MODE nearest or linear. Writes the raw result to OUT.
import sys

import cv2
import numpy as np

mode, source, w, h, c, mapx, mapy, dw, dh, out = sys.argv[1:11]
w, h, c, dw, dh = int(w), int(h), int(c), int(dw), int(dh)
image = np.fromfile(source, dtype=np.uint8).reshape(h, w, c)
mx = np.fromfile(mapx, dtype=np.float32).reshape(dh, dw)
my = np.fromfile(mapy, dtype=np.float32).reshape(dh, dw)
interpolation = cv2.INTER_NEAREST if mode == "nearest" else cv2.INTER_LINEAR
cv2.setNumThreads(1)
result = cv2.remap(image, mx, my, interpolation, borderMode=cv2.BORDER_CONSTANT, borderValue=0)
result.reshape(dh, dw, c).astype(np.uint8).tofile(out)
