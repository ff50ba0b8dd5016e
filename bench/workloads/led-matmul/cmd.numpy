"$PYTHON" ../../ledbench.py ledmatmul
