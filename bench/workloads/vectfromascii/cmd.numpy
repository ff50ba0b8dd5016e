"$PYTHON" ../readascii/makenumbers.py /tmp/tolvex-bench-numbers.txt && "$PYTHON" ../readascii/loadtxt.py
