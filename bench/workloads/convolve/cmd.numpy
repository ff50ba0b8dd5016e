"$PYTHON" convolve.py
