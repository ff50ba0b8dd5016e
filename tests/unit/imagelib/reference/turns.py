# numpy's turns and mirrors as the reference for the quarter-turn tests.
#   turns.py OP SOURCE WIDTH HEIGHT CHANNELS OUT
# SOURCE: raw rows of 8-bit channels, top row first, as the picture is seen. OP:
# cw (a quarter turn clockwise), ccw, half, transpose, antitranspose, mirror-lr,
# mirror-tb. Writes the raw result, top row first, to OUT.
import sys

import numpy as np

op, source, w, h, c, out = sys.argv[1:7]
w, h, c = int(w), int(h), int(c)
a = np.fromfile(source, dtype=np.uint8).reshape(h, w, c)
result = {
    "cw": lambda: np.rot90(a, k=-1),
    "ccw": lambda: np.rot90(a, k=1),
    "half": lambda: np.rot90(a, k=2),
    "transpose": lambda: np.transpose(a, (1, 0, 2)),
    "antitranspose": lambda: np.rot90(np.transpose(a, (1, 0, 2)), k=2),
    "mirror-lr": lambda: np.fliplr(a),
    "mirror-tb": lambda: np.flipud(a),
}[op]()
np.ascontiguousarray(result).tofile(out)
