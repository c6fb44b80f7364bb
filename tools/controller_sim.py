#!/usr/bin/env python3
"""Emulates the XPD window's two serial controllers on pseudo-terminals.

Each controller answers like a station-1 controller: a read of a data word
("?01WDRrrrr0001" + checksum + CR) is answered with its four hexadecimal
digits, a write of a data word ("WDW") or a relay word ("WRW") is stored and
acknowledged. The device paths to put into the profile's PriPortName and
SecPortName are printed at start-up; every register write is shown as it
arrives.

Commands on standard input:
  start [pri|sec]    a start request (D20 = 1) on that controller (default pri)
  restart [pri|sec]  a restart request (D30 = 1)
  show               the registers of both controllers
  quit               ends the emulator
"""
import os
import pty
import select
import sys
import tty

NAMES = ("pri", "sec")


def checksum(text):
    value = 0
    for c in text.encode("ascii", "replace"):
        value ^= c
    return "%02X" % value


class Controller:
    def __init__(self, name):
        self.name = name
        self.master, slave = pty.openpty()
        tty.setraw(self.master)
        tty.setraw(slave)
        self.slave = slave  # kept open so the port survives the program's reopening
        self.path = os.ttyname(slave)
        self.registers = {}
        self.pending = b""

    def reply(self, text):
        os.write(self.master, (text + checksum(text) + "\r").encode("ascii"))

    def handle(self, frame):
        # "?SSLLLRRRRCCCC[VVVV]XX"
        if len(frame) < 16 or checksum(frame[:-2]) != frame[-2:].upper():
            print(f"{self.name}: bad frame {frame!r}", flush=True)
            return
        body = frame[:-2]
        letters, reg = body[3:6], int(body[6:10])
        if letters == "WDR":
            self.reply("!01WDR%04X" % (self.registers.get("D%d" % reg, 0) & 0xFFFF))
        elif letters in ("WDW", "WRW") and len(body) >= 18:
            key = ("D" if letters == "WDW" else "R") + str(reg)
            value = int(body[14:18], 16)
            if self.registers.get(key) != value:
                print(f"{self.name}: {key} = {value} (0x{value:04X})", flush=True)
            self.registers[key] = value
            self.reply("!01" + letters)

    def serve(self):
        try:
            data = os.read(self.master, 512)
        except OSError:
            return
        self.pending += data
        while b"\r" in self.pending:
            frame, self.pending = self.pending.split(b"\r", 1)
            self.handle(frame.decode("ascii", "replace"))


def main():
    controllers = {n: Controller(n) for n in NAMES}
    print(f"PriPortName={controllers['pri'].path}")
    print(f"SecPortName={controllers['sec'].path}")
    print("Put these into the XPDAnalysis section of TORVEL.INI; type 'start' for a start request.",
          flush=True)
    by_fd = {c.master: c for c in controllers.values()}
    inputs = [sys.stdin]
    while True:
        ready, _, _ = select.select(list(by_fd) + inputs, [], [])
        for fd in ready:
            if fd is sys.stdin:
                line = sys.stdin.readline()
                if not line:  # no more commands; the controllers keep answering
                    inputs = []
                    continue
                words = line.split()
                if not words:
                    continue
                target = controllers.get(words[1] if len(words) > 1 else "pri")
                if words[0] == "quit":
                    return
                if words[0] == "show":
                    for c in controllers.values():
                        print(c.name, dict(sorted(c.registers.items())), flush=True)
                elif words[0] in ("start", "restart") and target:
                    target.registers["D20" if words[0] == "start" else "D30"] = 1
                    print(f"{target.name}: {words[0]} request raised", flush=True)
                else:
                    print("commands: start [pri|sec], restart [pri|sec], show, quit", flush=True)
            else:
                by_fd[fd].serve()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
