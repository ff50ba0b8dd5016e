"$PYTHON" inverse.py
