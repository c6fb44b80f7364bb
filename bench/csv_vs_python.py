#!/usr/bin/env python3
"""Times Torvel's reading of a 65 000-point normal-window CSV file against
Python's csv module reading the same file, and prints the ratio.

usage: csv_vs_python.py BUILD_DIR
Runs BUILD_DIR/bin/bench_dataoutput for the CSV benchmarks, then reads the file
it left behind with csv.reader (parsing the six level columns as floats, as the
program does) and reports both times and their ratio.
"""
import csv
import json
import subprocess
import sys
import timeit


def python_read(path):
    with open(path, newline="") as f:
        rows = csv.reader(f)
        in_data = False
        header_seen = False
        count = 0
        for row in rows:
            if not in_data:
                in_data = bool(row) and row[0] == "[DATA ENTRY]"
                continue
            if not header_seen:
                header_seen = True
                continue
            values = [float(v) for v in row[1:7]]
            count += len(values)
    return count


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    out = subprocess.run(
        [f"{build}/bin/bench_dataoutput", "--benchmark_filter=Csv",
         "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    results = {b["name"]: b for b in json.loads(out)["benchmarks"]}
    read = results["BM_ReadNormalCsv"]
    write = results["BM_WriteNormalCsv"]
    path = read["label"]
    runs = 10
    py = min(timeit.repeat(lambda: python_read(path), number=1, repeat=runs)) * 1000
    torvel = read["real_time"]
    print(f"write (Torvel): {write['real_time']:.1f} ms")
    print(f"read  (Torvel): {torvel:.1f} ms")
    print(f"read  (Python csv + float): {py:.1f} ms")
    print(f"ratio Python / Torvel: {py / torvel:.2f}")


if __name__ == "__main__":
    main()
