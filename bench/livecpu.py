#!/usr/bin/env python3
"""Measures the processor time Torvel takes while its windows measure on the
simulator (speed 1) under a virtual X display: each window kind alone for
SECONDS; and the start-up, from `exec` to the main window being viewable on the
display (with xdotool). All seven windows together are not measured yet: the
program opens one window at start, and opening the others needs the menu.

usage: livecpu.py BUILD_DIR [SECONDS] [DISPLAY_NUMBER] [KINDS]
KINDS (e.g. "2,3") measures only those kinds, one at a time.
The processor time is the user + system time of the process
(/proc/<pid>/stat) over the measured span, as a share of one core. Every run
starts in a fresh folder (its own TORVEL.INI and runtime folder: the program is
single-instance) with a 1280 x 800 main window.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# Each kind's profile section: its window starts measuring when it opens.
SECTIONS = ["NormalAnalysis_1", "WLANAnalysis_1", "ZeroSpanAnalysis_1", "SemiRealAnalysis_1",
            "RealTimeAnalysis_1", "MedicalAnalysis_1", "XPDAnalysis_1"]
KINDS = ["normal", "WLAN", "zero span", "semi-real-time", "real time", "medical", "XPD"]
SETTLE_S = 3.0
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User + system time of a process in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


class Display:
    """An Xvfb server; ready when the constructor returns (it writes its
    display number to a pipe once it accepts clients)."""

    def __init__(self, number):
        self.name = f":{number}"
        r, w = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
                                      "-displayfd", str(w)], pass_fds=(w,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as ready:
            ready.readline()

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class Program:
    """Torvel in a fresh folder, started with one window of a kind (1-7)."""

    def __init__(self, build, display, kind):
        self.work = tempfile.mkdtemp(prefix="torvel_cpu_")
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        with open(os.path.join(self.work, "TORVEL.INI"), "w") as f:
            f.write(f"[WINDOW]\nStartMode={kind}\nRECT=0,0,1280,800\nMAXIMIZE=0\n")
            for section in SECTIONS:
                f.write(f"[{section}]\nAnalyzeFlag=1\n")
                if section.startswith("RealTime"):
                    f.write("TrigMode=1\n")  # captures repeat instead of stopping after one
        self.env = dict(os.environ, DISPLAY=display.name, TORVEL_SIM_SPEED="1",
                        XDG_RUNTIME_DIR=runtime, HOME=self.work)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("TORVEL_SIM_SCENE", None)
        self.start = time.monotonic()
        self.proc = subprocess.Popen([os.path.abspath(os.path.join(build, "bin", "torvel")), "--no-splash"],
                                     cwd=self.work, env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def viewable_ms(self, timeout=20.0):
        """Wall time from exec until a Torvel window is viewable, or None."""
        if not shutil.which("xdotool"):
            time.sleep(2.0)
            return None
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                               env=self.env, capture_output=True, text=True)
            if r.stdout.strip():
                return (time.monotonic() - self.start) * 1000
            time.sleep(0.005)
        return None

    def cpu_percent(self, seconds):
        time.sleep(SETTLE_S)
        c0, t0 = cpu_seconds(self.proc.pid), time.monotonic()
        time.sleep(seconds)
        c1, t1 = cpu_seconds(self.proc.pid), time.monotonic()
        return 100.0 * (c1 - c0) / (t1 - t0)

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def measure(build, seconds=20.0, number=58, startup_runs=5, kinds=None):
    """{kind name: CPU %, "start-up": ms}; no start-up without xdotool."""
    results = {}
    if not shutil.which("Xvfb"):
        return results
    display = Display(number)
    try:
        for kind, name in enumerate(KINDS, start=1):
            if kinds and kind not in kinds:
                continue
            p = Program(build, display, kind)
            try:
                p.viewable_ms()
                results[name] = p.cpu_percent(seconds)
            finally:
                p.close()
        if shutil.which("xdotool") and not kinds:
            starts = []
            for _ in range(startup_runs):
                p = Program(build, display, 1)
                try:
                    t = p.viewable_ms()
                    if t is not None:
                        starts.append(t)
                finally:
                    p.close()
            results["start-up"] = statistics.median(starts) if starts else None
    finally:
        display.close()
    return results


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    number = int(sys.argv[3]) if len(sys.argv) > 3 else 58
    kinds = [int(k) for k in sys.argv[4].split(",")] if len(sys.argv) > 4 else None
    for name, value in measure(build, seconds, number, kinds=kinds).items():
        if value is None:
            print(f"{name}: –")
        elif name == "start-up":
            print(f"{name}: {value:.0f} ms from exec to the viewable window")
        else:
            print(f"{name}: {value:.1f} % of one core")
    return 0


if __name__ == "__main__":
    sys.exit(main())
