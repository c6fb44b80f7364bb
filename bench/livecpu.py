#!/usr/bin/env python3
"""Measures the processor time Torvel takes while its windows measure on the
simulator (speed 1) under a virtual X display: each window kind alone for
SECONDS, and all seven kinds at once. The program opens its start window from
the profile; the other six are opened through its SCPI server (--remote on a
free loopback port, INST:CRE), the way a lab script would, and INST:LIST? must
then name seven windows.

usage: livecpu.py BUILD_DIR [SECONDS] [DISPLAY_NUMBER] [KINDS]
KINDS (e.g. "2,3") measures only those kinds, one at a time (0: all seven).
The processor time is the user + system time of the process
(/proc/<pid>/stat) over the measured span, as a share of one core. Every run
starts in a fresh folder (its own TORVEL.INI and runtime folder: the program is
single-instance) with a 1280 x 800 main window.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

# Each kind's profile section: its window starts measuring when it opens.
SECTIONS = ["NormalAnalysis_1", "WLANAnalysis_1", "ZeroSpanAnalysis_1", "SemiRealAnalysis_1",
            "RealTimeAnalysis_1", "MedicalAnalysis_1", "XPDAnalysis_1"]
KINDS = ["normal", "WLAN", "zero span", "semi-real-time", "real time", "medical", "XPD"]
# The INST:CRE names of the kinds, in the same order.
SCPI_KINDS = ["NORM", "WLAN", "ZSP", "SRT", "RT", "MED", "XPD"]
ALL_SEVEN = "all seven"
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


def free_port():
    """A loopback TCP port nobody listens on at the moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Program:
    """Torvel in a fresh folder, started with one window of a kind (1-7) and
    its SCPI server on a free loopback port; PROFILE is added to its
    TORVEL.INI."""

    def __init__(self, build, display, kind, profile=""):
        self.work = tempfile.mkdtemp(prefix="torvel_cpu_")
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        with open(os.path.join(self.work, "TORVEL.INI"), "w") as f:
            f.write(f"[WINDOW]\nStartMode={kind}\nRECT=0,0,1280,800\nMAXIMIZE=0\n")
            for section in SECTIONS:
                f.write(f"[{section}]\nAnalyzeFlag=1\n")
                if section.startswith("RealTime"):
                    f.write("TrigMode=1\n")  # captures repeat instead of stopping after one
            f.write(profile)
        self.env = dict(os.environ, DISPLAY=display.name, TORVEL_SIM_SPEED="1",
                        XDG_RUNTIME_DIR=runtime, HOME=self.work)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("TORVEL_SIM_SCENE", None)
        self.port = free_port()
        self.proc = subprocess.Popen([os.path.abspath(os.path.join(build, "bin", "torvel")), "--no-splash",
                                      f"--remote={self.port}"],
                                     cwd=self.work, env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.client = None
        self.reader = None

    def connect(self, timeout=30.0):
        """Connects to the program's SCPI server once it listens; False when
        it does not within the timeout."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.proc.poll() is None:
            try:
                self.client = socket.create_connection(("127.0.0.1", self.port), timeout=30.0)
                self.reader = self.client.makefile("r", encoding="latin-1", newline="\n")
                return True
            except OSError:
                time.sleep(0.05)
        return False

    def query(self, line):
        self.client.sendall((line + "\n").encode())
        return self.reader.readline().strip()

    def open_all_kinds(self, start_kind):
        """Opens a window of every other kind; the number of open windows."""
        for kind, name in enumerate(SCPI_KINDS, start=1):
            if kind != start_kind:
                self.query(f"INST:CRE {name};*OPC?")
        return len([w for w in self.query("INST:LIST?").split(",") if w.startswith('"')])

    def cpu_percent(self, seconds):
        time.sleep(SETTLE_S)
        c0, t0 = cpu_seconds(self.proc.pid), time.monotonic()
        time.sleep(seconds)
        c1, t1 = cpu_seconds(self.proc.pid), time.monotonic()
        return 100.0 * (c1 - c0) / (t1 - t0)

    def close(self):
        if self.reader:
            self.reader.close()
        if self.client:
            self.client.close()
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def measure(build, seconds=20.0, number=58, kinds=None):
    """{kind name: CPU %, "all seven": CPU %}; a kind whose window could not be
    set up is left out. KINDS: the kinds (1-7, 0 for all seven) to measure."""
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
                if p.connect():
                    results[name] = p.cpu_percent(seconds)
            finally:
                p.close()
        if not kinds or 0 in kinds:
            p = Program(build, display, 1)
            try:
                if p.connect() and p.open_all_kinds(1) == len(KINDS):
                    results[ALL_SEVEN] = p.cpu_percent(seconds)
            finally:
                p.close()
    finally:
        display.close()
    return results


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    number = int(sys.argv[3]) if len(sys.argv) > 3 else 58
    kinds = [int(k) for k in sys.argv[4].split(",")] if len(sys.argv) > 4 else None
    for name, value in measure(build, seconds, number, kinds=kinds).items():
        print(f"{name}: {value:.1f} % of one core")
    return 0


if __name__ == "__main__":
    sys.exit(main())
