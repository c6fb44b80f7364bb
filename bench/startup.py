#!/usr/bin/env python3
"""Measures the start-up of Torvel under a virtual X display: the program runs
under `perf record` (call stacks by DWARF, time stamps on the monotonic clock),
and the time stamps of the samples show when each phase ran, counted from the
`exec` of the program (perf's exec event), up to the end of the first paint of
a graph.

usage: startup.py BUILD_DIR [RUNS] [DISPLAY_NUMBER]
Prints one line per run and the median; needs perf and Xvfb. The program is
started in a fresh directory each run (no TORVEL.INI, its own runtime folder),
with the simulator.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PHASES = [
    ("string table", "InitializeTorvelLibDLL"),
    ("channel list", "LoadChannelList"),
    ("single instance", "CSingleInstance"),
    ("main frame", "CMainFrame::Create"),
    ("start window", "OpenStartWindow"),
]
FIRST_GRAPH = "CNormalGraphContext::Render"


def samples_of(script_text):
    samples = []
    current = None
    for line in script_text.splitlines():
        if re.match(r"^\s*\d+\.\d+:", line):
            current = [float(line.split(":")[0]), []]
            samples.append(current)
        elif current is not None and line.strip():
            current[1].append(line.strip())
    return samples


def exec_time(events_text):
    """The time stamp of the program's exec event, or None."""
    for line in events_text.splitlines():
        if "PERF_RECORD_COMM exec" in line:
            m = re.search(r"(\d+\.\d+):", line)
            if m:
                return float(m.group(1))
    return None


def one_run(build, display):
    work = tempfile.mkdtemp(prefix="torvel_start_")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    data = os.path.join(work, "perf.data")
    env = dict(os.environ, DISPLAY=display, TORVEL_SIM_SPEED="1", XDG_RUNTIME_DIR=runtime,
               HOME=work)
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("TORVEL_SIM_SCENE", None)
    subprocess.run(["timeout", "-s", "TERM", "3", "perf", "record", "-q", "-k", "CLOCK_MONOTONIC",
                    "-F", "2000", "--call-graph", "dwarf,16384", "-o", data,
                    os.path.abspath(os.path.join(build, "bin", "torvel")), "--no-splash"],
                   cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    text = subprocess.run(["perf", "script", "-i", data, "-F", "time,ip,sym"],
                          capture_output=True, text=True).stdout
    events = subprocess.run(["perf", "script", "-i", data, "--show-task-events", "-F",
                             "comm,pid,time"], capture_output=True, text=True).stdout
    shutil.rmtree(work, ignore_errors=True)
    samples = samples_of(text)
    t0 = exec_time(events)
    if not samples or t0 is None:
        return None
    spans = {}
    graph_end = None
    graph_start = None
    for t, stack in samples:
        s = " | ".join(stack)
        for name, key in PHASES:
            if key in s:
                first, _ = spans.get(name, (t, t))
                spans[name] = (first, t)
        if FIRST_GRAPH in s:
            if graph_start is None:
                graph_start = t
            if graph_end is None or t - graph_end < 0.005:
                graph_end = t  # the samples of the first paint, until a gap
    if graph_end is None:
        return None
    return {name: ((a - t0) * 1000, (b - t0) * 1000) for name, (a, b) in spans.items()}, \
        (graph_start - t0) * 1000, (graph_end - t0) * 1000


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    if not shutil.which("perf") or not shutil.which("Xvfb"):
        print("startup: perf and Xvfb are needed", file=sys.stderr)
        return 2
    display = ":" + (sys.argv[3] if len(sys.argv) > 3 else "57")
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    ends = []
    try:
        for _ in range(runs):
            result = one_run(build, display)
            if result is None:
                print("run: no graph was painted")
                continue
            spans, start, end = result
            ends.append(end)
            phases = ", ".join(f"{n} {a:.0f}-{b:.0f}" for n, (a, b) in spans.items())
            print(f"run: {phases}; first graph paint {start:.0f}-{end:.0f} ms")
    finally:
        xvfb.terminate()
        xvfb.wait()
    if ends:
        print(f"median first painted graph: {statistics.median(ends):.0f} ms")
        return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
