# numpy's turns and mirrors as the reference for the quarter-turn tests.
#   turns.py SOURCE WIDTH HEIGHT CHANNELS OUTDIR
# SOURCE: raw rows of 8-bit channels, top row first, as the picture is seen. Writes
# OUTDIR/<op>.raw (top row first) for every op: cw (a quarter turn clockwise), ccw,
# half, transpose, antitranspose, mirror-lr, mirror-tb.
import os
import sys

import numpy as np

source, w, h, c, out = sys.argv[1:6]
w, h, c = int(w), int(h), int(c)
a = np.fromfile(source, dtype=np.uint8).reshape(h, w, c)
results = {
    "cw": np.rot90(a, k=-1),
    "ccw": np.rot90(a, k=1),
    "half": np.rot90(a, k=2),
    "transpose": np.transpose(a, (1, 0, 2)),
    "antitranspose": np.rot90(np.transpose(a, (1, 0, 2)), k=2),
    "mirror-lr": np.fliplr(a),
    "mirror-tb": np.flipud(a),
}
for op, result in results.items():
    np.ascontiguousarray(result).tofile(os.path.join(out, op + ".raw"))
