"$PYTHON" vectsort.py
