"$PYTHON" ../../ledbench.py ledmatmulint
