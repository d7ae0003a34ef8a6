#!/usr/bin/env python3
"""Starts lumivane.exe under Wine as a user would and checks its console transcript."""

import argparse
import os
import queue
import re
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

# Generous: the first start in a fresh Wine prefix creates the prefix first.
START_TIMEOUT = 120.0
LINE_TIMEOUT = 30.0
EXIT_TIMEOUT = 30.0


class Failure(Exception):
    pass


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("0.0.0.0", 0))
        return probe.getsockname()[1]


def write_config(directory, port, device_id):
    # The file as a Windows editor saves it: CRLF line ends.
    with open(os.path.join(directory, "lumivane.cfg"), "wb") as cfg:
        cfg.write(
            ("[config]\r\noutGaugePort=%d\r\ndeviceID=%s\r\n" % (port, device_id)).encode()
        )


class Program:
    """lumivane.exe under the emulator, its stdout read line by line on a thread."""

    def __init__(self, emulator, exe, cwd):
        self.lines = queue.Queue()
        self.started = time.monotonic()
        # The emulator script execs Wine, so the process is the program itself
        # and a signal to it reaches the program's console handling.
        self.proc = subprocess.Popen(
            [emulator, exe],
            cwd=cwd,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
        )
        self.stderr = []
        threading.Thread(target=self._read_stdout, daemon=True).start()
        threading.Thread(target=self._read_stderr, daemon=True).start()
        self.seen = []

    def _read_stdout(self):
        for raw in self.proc.stdout:
            self.lines.put(raw.decode("latin-1").rstrip("\r\n"))
        self.lines.put(None)

    def _read_stderr(self):
        for raw in self.proc.stderr:
            self.stderr.append(raw.decode("latin-1").rstrip("\r\n"))

    def next_line(self, timeout):
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise Failure("no output within %.0f s; so far: %r" % (timeout, self.seen))
        if line is None:
            raise Failure("the program ended early; output: %r" % self.seen)
        self.seen.append(line)
        return line

    def expect(self, expected, timeout=LINE_TIMEOUT):
        line = self.next_line(timeout)
        if isinstance(expected, re.Pattern):
            if not expected.fullmatch(line):
                raise Failure("line %r does not match %r" % (line, expected.pattern))
        elif line != expected:
            raise Failure("expected %r, got %r" % (expected, line))
        return line

    def rest_of_output(self, timeout):
        """Every further line until the output ends."""
        rest = []
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("output did not end; so far: %r" % (self.seen + rest))
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                return rest
            rest.append(line)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        try:
            self.proc.wait(timeout=EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            pass


def startup_lines(startup, port, device_id):
    """The start-up transcript up to the device search, from tests/data/startup.txt; the
    configuration's path as a pattern, since Wine shows the working directory as a drive
    path (Z:\\...)."""
    with open(startup, encoding="ascii") as template:
        lines = template.read().splitlines()
    fields = {"{port}": str(port), "{device}": "%04X" % device_id}
    expected = []
    for line in lines:
        if "{config}" in line:
            before, after = line.split("{config}")
            expected.append(re.compile(
                re.escape(before) + r"[A-Za-z]:\\.*\\lumivane\.cfg" + re.escape(after)))
            continue
        for field, value in fields.items():
            line = line.replace(field, value)
        expected.append(line)
    return expected


def expect_start(program, startup, port, device_id, udp_ok):
    lines = startup_lines(startup, port, device_id)
    if udp_ok:
        lines += ["initHID: Device not found.", "HID init failed!"]
    else:
        # Without a receiver the device is not looked for.
        lines[-1:] = ["ogInit: Socket bind failed",
                      "ogInit: Port %d is in use by another program; trying again every "
                      "second..." % port,
                      "OutGauge init failed!"]
    lines.append("Ready for OutGauge data")
    for index, line in enumerate(lines):
        program.expect(line, START_TIMEOUT if index == 0 else LINE_TIMEOUT)
    return time.monotonic() - program.started


def f1_datagrams():
    """F1 25 in UDP format 2025, built from the game's published layout: the 29-byte header
    (packetFormat, gameYear, major, minor, packetVersion, packetId, sessionUID, sessionTime,
    frameIdentifier, overallFrameIdentifier, playerCarIndex 0, secondaryPlayerCarIndex 255),
    then 22 records of Car Telemetry (60 bytes: speed, throttle, steer, brake, clutch, gear,
    engineRPM, drs, revLightsPercent, revLightsBitValue, ...) and 3 trailing bytes, or of Car
    Status (55 bytes: tractionControl, antiLockBrakes, fuelMix, frontBrakeBias,
    pitLimiterStatus, fuelInTank, fuelCapacity, fuelRemainingLaps, maxRPM, idleRPM, ...)."""
    def header(packet_id):
        return struct.pack("<HBBBBBQfIIBB", 2025, 25, 1, 0, 1, packet_id, 7, 1.5, 90, 90, 0, 255)
    car = struct.pack("<HfffBbHBBH", 250, 1.0, 0.0, 0.0, 0, 7, 11000, 0, 90, 0x7FFF)
    telemetry = header(6) + car.ljust(60, b"\0") + bytes(60 * 21) + bytes([255, 255, 0])
    car = struct.pack("<BBBBBfffHHB", 0, 0, 1, 50, 0, 30.0, 110.0, 12.5, 12500, 4000, 8)
    status = header(7) + car.ljust(55, b"\0") + bytes(55 * 21)
    assert (len(telemetry), len(status)) == (1352, 1239)
    return [telemetry, status]


def forza_horizon_datagram(ordinal):
    """A 324-byte Forza Horizon datagram: IsRaceOn (s32 at 0), EngineMaxRpm, EngineIdleRpm and
    CurrentEngineRpm (f32 at 8, 12, 16), CarOrdinal (s32 at 212), Fuel (f32 at 288)."""
    data = bytearray(324)
    struct.pack_into("<i", data, 0, 1)
    struct.pack_into("<fff", data, 8, 8000.0, 900.0, 5200.0)
    struct.pack_into("<i", data, 212, ordinal)
    struct.pack_into("<f", data, 288, 0.5)
    return bytes(data)


def expect_car(program, port, datagrams, car):
    """Sends the datagrams to the program a few times and expects it to name the car."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        for _ in range(3):
            for datagram in datagrams:
                sender.sendto(datagram, ("127.0.0.1", port))
            time.sleep(0.05)
    program.expect("Car: " + car)


def port_is_held(port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind(("0.0.0.0", port))
        except OSError:
            return True
    return False


def case_start_then_ctrl_c(emulator, exe, startup, workdir):
    """Normal start without the device, F1 and Forza datagrams, then Ctrl+C."""
    port = free_udp_port()
    write_config(workdir, port, "0xCA04")
    program = Program(emulator, exe, workdir)
    try:
        ready = expect_start(program, startup, port, 0xCA04, udp_ok=True)
        print("start-up to 'Ready' under Wine: %.2f s" % ready)

        # Without the device the receiver stays open.
        if not port_is_held(port):
            raise Failure("the receiver's port is free after a start-up without the device")

        # Other games' datagrams on the same port are told apart: each names its car once.
        expect_car(program, port, f1_datagrams(), "F125")
        expect_car(program, port, [forza_horizon_datagram(2352)], "2352")

        # Wine turns SIGINT into the console's Ctrl+C event.
        program.proc.send_signal(signal.SIGINT)
        program.expect("Shutdown...")
        shown = time.monotonic()
        program.expect("ogClose: Closing OutGauge...")
        rest = program.rest_of_output(EXIT_TIMEOUT)
        if rest:
            raise Failure("unexpected output after the shutdown lines: %r" % rest)
        program.proc.wait(timeout=EXIT_TIMEOUT)
        paused = time.monotonic() - shown
        # The handler pauses 200 ms before the process ends (loose lower bound).
        if paused < 0.1:
            raise Failure("process ended %.3f s after Shutdown..., before the pause" % paused)
        print("Ctrl+C: ended %.2f s after 'Shutdown...', exit code %d"
              % (paused, program.proc.returncode))
    finally:
        program.stop()


def case_port_in_use(emulator, exe, startup, workdir):
    """Another program holds the port: start-up goes on without a receiver and without the
    device, and the port is taken, then the device looked for, once it is free."""
    holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    holder.bind(("0.0.0.0", 0))
    port = holder.getsockname()[1]
    write_config(workdir, port, "51715")
    program = Program(emulator, exe, workdir)
    try:
        ready = expect_start(program, startup, port, 0xCA03, udp_ok=False)
        print("start-up with the port in use: %.2f s" % ready)
        holder.close()
        freed = time.monotonic()
        program.expect("ogInit: Port %d is free now: receiving OutGauge data" % port)
        print("port taken %.2f s after it was freed" % (time.monotonic() - freed))
        program.expect(startup_lines(startup, port, 0xCA03)[-1])
        program.expect("initHID: Device not found.")
        program.expect("HID init failed!")
        if program.proc.poll() is not None:
            raise Failure("the program ended instead of running on")
    finally:
        holder.close()
        program.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--emulator", required=True, help="script that runs a .exe under Wine")
    parser.add_argument("--exe", required=True, help="path of lumivane.exe")
    parser.add_argument("--startup", required=True, help="the expected start-up transcript")
    args = parser.parse_args()
    # The program runs in a directory of its own: resolve paths first.
    emulator = os.path.abspath(args.emulator)
    exe = os.path.abspath(args.exe)

    failures = 0
    for case in (case_start_then_ctrl_c, case_port_in_use):
        with tempfile.TemporaryDirectory(prefix="lumivane-e2e-") as workdir:
            try:
                case(emulator, exe, os.path.abspath(args.startup), workdir)
                print("PASS %s" % case.__name__)
            except Failure as failure:
                failures += 1
                print("FAIL %s: %s" % (case.__name__, failure))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
