# The same 1,000,000 texts appended to a Python list.
entries = []
for i in range(1000000):
    entries.append("entry %d" % i)
print(len(entries))
