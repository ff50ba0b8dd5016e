"$PYTHON" elementwise.py
