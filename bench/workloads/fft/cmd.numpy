"$PYTHON" fft.py
