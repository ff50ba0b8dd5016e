"$PYTHON" ../../imgbench.py sprites /tmp
