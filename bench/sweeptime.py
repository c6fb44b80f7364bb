#!/usr/bin/env python3
"""Measures how long the normal window takes for one sweep of 1-3000 MHz at
RBW 10 kHz on the simulator at speed 1 (under a virtual X display), against
the time the simulator itself gives those blocks: every block (a 2 MHz segment
of 200 points) lasts 0.5 ms + points x rejection rate x 10 us, so with a
rejection rate of 1 the sweep's 1500 blocks take 3.75 s of device time. What
the wall clock shows beyond that is the program's: the time between one
block's completion message and the start of the next.

usage: sweeptime.py BUILD_DIR [SWEEPS] [DISPLAY_NUMBER]
The sweep is started and waited for through the program's SCPI server
(INIT;*OPC?); the median of SWEEPS sweeps is printed.
"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import livecpu  # noqa: E402

BLOCK_KHZ = 2000
STEP_KHZ = 10
REJECTION = 1
BLOCK_OVERHEAD_S = 0.5e-3
POINT_S = 10e-6


def device_seconds(start_khz, stop_khz):
    """The simulator's own time for the blocks of one sweep of the range: the
    blocks lie on the 2 MHz grid from below the start up to the stop."""
    first = start_khz // BLOCK_KHZ * BLOCK_KHZ
    blocks = (stop_khz - first + BLOCK_KHZ - 1) // BLOCK_KHZ
    points = (stop_khz - first) // STEP_KHZ
    return blocks * BLOCK_OVERHEAD_S + points * REJECTION * POINT_S


def measure(build, sweeps=3, number=59):
    """(median wall-clock seconds of one sweep, the device's seconds), or None
    without Xvfb or when the program does not answer."""
    if not livecpu.shutil.which("Xvfb"):
        return None
    display = livecpu.Display(number)
    try:
        p = livecpu.Program(build, display, 1,
                            f"[NormalAnalysis_1]\nRejectionRate={REJECTION}\nRBWIndex=1\n"
                            "StartFrequency=1000\nStopFrequency=3000000\nAnalyzeFlag=0\n")
        try:
            if not p.connect():
                return None
            p.query("FREQ:STAR 1 MHZ;STOP 3000 MHZ;:BAND 10 KHZ;:INIT:CONT OFF;*OPC?")
            start = float(p.query("FREQ:STAR?")) / 1000
            stop = float(p.query("FREQ:STOP?")) / 1000
            times = []
            for _ in range(sweeps):
                t0 = time.monotonic()
                if p.query("INIT;*OPC?") != "1":
                    return None
                times.append(time.monotonic() - t0)
        finally:
            p.close()
    finally:
        display.close()
    return statistics.median(times), device_seconds(int(start), int(stop))


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    sweeps = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    number = int(sys.argv[3]) if len(sys.argv) > 3 else 59
    result = measure(build, sweeps, number)
    if result is None:
        print("sweeptime: Xvfb is needed and the program must answer", file=sys.stderr)
        return 1
    wall, device = result
    print(f"sweep 1-3000 MHz at 10 kHz: {wall:.2f} s wall clock, {device:.2f} s of device time "
          f"({100 * (wall / device - 1):+.1f} %)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
