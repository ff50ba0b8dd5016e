"$PYTHON" gratings.py
