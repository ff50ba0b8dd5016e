"$PYTHON" fractal.py
