"$PYTHON" ../fractal/fractal.py
