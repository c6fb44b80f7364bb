#!/usr/bin/env python3
"""Sets entries of the string table in place: settext.py INDEX TEXT [INDEX TEXT ...]

Each line of resources/Torvel.txt is "NNNN:text"; only the named lines change.
"""
import os
import sys

path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "Torvel.txt")
args = sys.argv[1:]
if len(args) % 2:
    sys.exit("usage: settext.py INDEX TEXT [INDEX TEXT ...]")
with open(path, encoding="utf-8", newline="") as f:
    lines = f.read().split("\n")
for i in range(0, len(args), 2):
    n = int(args[i])
    if not 0 <= n < 3000:
        sys.exit(f"index out of range: {n}")
    lines[n] = "%04d:%s" % (n, args[i + 1])
tmp = path + ".tmp"
with open(tmp, "w", encoding="utf-8", newline="") as f:
    f.write("\n".join(lines))
os.replace(tmp, path)
