"$PYTHON" sum.py
