"$PYTHON" makenumbers.py /tmp/tolvex-bench-numbers.txt && "$PYTHON" loadtxt.py
