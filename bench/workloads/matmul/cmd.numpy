"$PYTHON" matmul.py
