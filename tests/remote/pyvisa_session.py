#!/usr/bin/env python3
"""A lab script's session with Torvel through PyVISA (pyvisa-py backend).

Starts the program (offscreen, simulator at full speed, a scene with one known
carrier) in a temporary folder with the SCPI server on a free port, then, as a
production script would: *IDN?, sets a band, INIT;*OPC?, reads the data line in
ASCII and in REAL,32 (the same values), finds the carrier with a marker, saves
and loads the window's state (in the remote folder, a path outside refused),
fetches a PNG of the window (checked with pngcheck), and closes the program in
order.

    pyvisa_session.py <path of the torvel program>
Exit status 0 when everything held, 77 when PyVISA or pyvisa-py is missing.
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

try:
    import pyvisa
    import pyvisa_py  # noqa: F401 (the backend '@py')
except ImportError as e:
    print(f"PyVISA with pyvisa-py is not installed ({e}): skipped")
    sys.exit(77)

CARRIER_HZ = 100e6
CARRIER_DBM = -30.0
STEP_HZ = 20e3


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def check(condition, what):
    if not condition:
        raise AssertionError(what)
    print("ok:", what)


def session(inst, folder):
    idn = inst.query("*IDN?").strip()
    check(idn.startswith("Torvel,Simulator,"), f"*IDN? names Torvel and the simulator ({idn})")

    inst.write("FREQ:CENT 100 MHZ;SPAN 10 MHZ;:BAND 20 kHz;:INP:ATT 0;:INIT:CONT OFF")
    check(inst.query("SYST:ERR?").startswith("0,"), "the band is set without an error")
    check(inst.query("INIT;*OPC?").strip() == "1", "INIT;*OPC? answers when the sweep is in")

    asc = inst.query_ascii_values("TRAC:DATA? DATALINE")
    inst.write("FORM REAL,32")
    real = inst.query_binary_values("TRAC:DATA? DATALINE", datatype="f", is_big_endian=True)
    inst.write("FORM ASC")
    points = int(inst.query("TRAC:POIN?"))
    check(len(asc) == points == len(real), f"both formats give all {points} points")
    check(all(abs(a - r) <= 0.005 for a, r in zip(asc, real)), "ASCII and REAL,32 hold the same levels")
    check(all(a > -199 for a in asc), "every point was measured")

    inst.write("CALC:MARK1:MAX")
    x = float(inst.query("CALC:MARK1:X?"))
    y = float(inst.query("CALC:MARK1:Y?"))
    check(abs(x - CARRIER_HZ) <= STEP_HZ, f"the marker finds the carrier at {x / 1e6} MHz")
    check(abs(y - CARRIER_DBM) <= 1.0, f"at its level, {y} dBm")

    check(inst.query('MMEM:STOR:STAT "state.SPE";*OPC?').strip() == "1", "the state is saved")
    check(os.path.exists(os.path.join(folder, "data", "torvel", "remote", "state.SPE")),
          "the state is saved in the user folder's remote folder")
    inst.write("FREQ:CENT 1 GHZ")
    check(int(inst.query("FREQ:CENT?")) == 1000000000, "the centre moved")
    inst.write('MMEM:LOAD:STAT "state.SPE"')
    check(int(inst.query("FREQ:CENT?")) == 100000000, "loading the state brings the centre back")
    inst.write(f'MMEM:STOR:STAT "{os.path.join(folder, "outside.SPE")}"')
    check(inst.query("SYST:ERR?").startswith("-257,") and not os.path.exists(os.path.join(folder, "outside.SPE")),
          "a path outside the remote folder is refused")

    png = inst.query_binary_values("HCOP:SDUM:DATA?", datatype="B", container=bytes)
    picture = os.path.join(folder, "window.png")
    with open(picture, "wb") as f:
        f.write(png)
    if shutil.which("pngcheck"):
        check(subprocess.run(["pngcheck", "-q", picture]).returncode == 0, "pngcheck accepts the picture")
    else:
        check(png.startswith(b"\x89PNG\r\n\x1a\n"), "the picture is a PNG (pngcheck is not installed)")
    check(inst.query("SYST:ERR?").startswith("0,"), "no error on the way")


def main():
    torvel = os.path.abspath(sys.argv[1])
    folder = tempfile.mkdtemp(prefix="torvel-pyvisa-")
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    scene = os.path.join(folder, "scene.ini")
    with open(scene, "w") as f:
        f.write("[Scene]\nSeed=5\nDefaultSignals=0\n[Signal A]\nType=Carrier\nFrequency=100000\nLevel=-30\n")
    with open(os.path.join(folder, "TORVEL.INI"), "w") as f:
        f.write("[WINDOW]\nStartMode=1\n[NormalAnalysis_1]\nAnalyzeFlag=0\n")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TORVEL_SIM_SPEED="0", TORVEL_SIM_SCENE=scene,
               XDG_RUNTIME_DIR=runtime, XDG_DATA_HOME=os.path.join(folder, "data"))
    port = free_port()
    program = subprocess.Popen([torvel, "--no-splash", f"--remote={port}"], cwd=folder, env=env)
    rm = pyvisa.ResourceManager("@py")
    try:
        # The server listens once the program is up.
        deadline = time.monotonic() + 60
        while True:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                if program.poll() is not None or time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        inst = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n",
                                write_termination="\n", timeout=30000)
        session(inst, folder)
        inst.close()
    finally:
        rm.close()
        if program.poll() is None:
            program.send_signal(signal.SIGTERM)
        try:
            status = program.wait(60)
        except subprocess.TimeoutExpired:
            program.kill()
            raise
        shutil.rmtree(folder, ignore_errors=True)
    check(status == 0, "the program closes in order")


if __name__ == "__main__":
    main()
