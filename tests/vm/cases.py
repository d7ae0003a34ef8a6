#!/usr/bin/env python3
"""The cases run inside the test machine, as root, against devices of the kernel's HID core.

Each case prints one line "VMCASE NAME PASS" or "VMCASE NAME FAIL", preceded by a "VMFAIL"
line per failed check; "VMNOTE" lines record what was measured. Exit status 0 when every case passed.
"""
import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import threading
import time
import traceback

NOBODY = 65534
# The guest's writable folder, a tmpfs; the rest of the shared root is read-only.
SCRATCH = "/run/lumivane-vm"
INIT_LINE = "initHID: Initializing HID (Device ID 0x{:04X})...HID GUID: 4D1E55B2"


class CaseFailed(Exception):
    """A check that the rest of the case depends on failed."""


class Case:
    """The failed checks of one case."""

    def __init__(self, name):
        self.name = name
        self.failures = []

    def check(self, ok, message):
        if not ok:
            self.failures.append(message)
        return ok

    def require(self, ok, message):
        if not ok:
            self.failures.append(message)
            raise CaseFailed()


class Devices:
    """The uhid device program and every event its devices received, with times in seconds."""

    def __init__(self, exe):
        self.proc = subprocess.Popen([exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, bufsize=1)
        self.events = []  # (seconds, name, event, data)
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            parts = line.split()
            if len(parts) >= 3:
                with self.cond:
                    self.events.append((float(parts[0]) / 1000, parts[1], parts[2],
                                        " ".join(parts[3:])))
                    self.cond.notify_all()

    def _command(self, text, name, done):
        """Sends a command and waits for its answer; the reason when it failed."""
        start = len(self.events)
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        with self.cond:
            self.cond.wait_for(lambda: any(e[1] == name and e[2] in (done, "error")
                                           for e in self.events[start:]), 10)
            return next((e[3] for e in self.events[start:]
                         if e[1] == name and e[2] == "error"), None)

    def plug(self, case, name, product):
        """Plugs a device in; returns its hidraw node name once it is there."""
        error = self._command(f"plug {name} {product:x}", name, "plugged")
        case.require(error is None, f"cannot plug {name} in: {error}")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            node = hidraw_of(name)
            if node:
                return node
            time.sleep(0.05)
        case.require(False, f"no hidraw node for the device {name}")

    def unplug(self, name):
        self._command(f"unplug {name}", name, "unplugged")

    def of(self, name, event, since=0.0):
        with self.cond:
            return [e for e in self.events if e[1] == name and e[2] == event and e[0] >= since]

    def outputs(self, name, since=0.0):
        return [(e[0], e[3]) for e in self.of(name, "output", since)]

    def wait(self, name, event, data="", since=0.0, timeout=10):
        """The time of the first such event since the given time; None when none comes."""
        with self.cond:
            self.cond.wait_for(lambda: any(e[3] == data for e in self.of(name, event, since)),
                               timeout)
            return next((e[0] for e in self.of(name, event, since) if e[3] == data), None)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(10)


def hidraw_of(name):
    """The hidraw node of the device called name, from the uevent of the node's HID parent."""
    for node in sorted(os.listdir("/sys/class/hidraw")):
        try:
            with open(f"/sys/class/hidraw/{node}/device/uevent") as f:
                if f"HID_NAME={name}\n" in f.read():
                    return node
        except OSError:
            pass
    return None


def report(leds):
    """The bytes of a report as the device receives them: report number 0, then 09 and LEDs."""
    return f"0009{leds:02x}0000000000"


class Program:
    """The real lumivane, started in a folder of its own as a user starts it."""

    def __init__(self, exe, folder, uid=None):
        cmd = [exe]
        if uid is not None:
            cmd = ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups", exe]
        self.folder = folder
        self.proc = subprocess.Popen(cmd, cwd=folder, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE)
        self.lines = []
        self.taken = 0
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            with self.cond:
                self.lines.append(raw.decode(errors="replace").rstrip("\n"))
                self.cond.notify_all()

    def line(self, timeout=10):
        with self.cond:
            if not self.cond.wait_for(lambda: len(self.lines) > self.taken, timeout):
                return None
            self.taken += 1
            return self.lines[self.taken - 1]

    def expect(self, case, wanted):
        for want in wanted:
            got = self.line()
            case.require(got == want, f"expected line {want!r}, got {got!r}; all: {self.lines}")

    def expect_startup(self, case, port, product, device_lines):
        self.expect(case, ["---------------------------------", " Lumivane v1.1 by Quillox",
                           "---------------------------------", "",
                           f"Loading config {self.folder}/lumivane.cfg...",
                           f"ogInit: Initializing OutGauge, port {port}...",
                           INIT_LINE.format(product)] + device_lines)

    def ctrl_c(self, case, closing_line=True):
        """Ctrl+C: the shutdown transcript, and the end by SIGINT in the usual time."""
        case.require(self.proc.poll() is None, f"ended before Ctrl+C: {self.lines}")
        start = time.monotonic()
        self.proc.send_signal(signal.SIGINT)
        try:
            status = self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            status = None
        took = time.monotonic() - start
        wanted = ["Shutdown..."] + (["ogClose: Closing OutGauge..."] if closing_line else [])
        for want in wanted:
            got = self.line(2)
            case.check(got == want, f"after Ctrl+C expected {want!r}, got {got!r}")
        case.check(status == -signal.SIGINT, f"status after Ctrl+C: {status}")
        # About 0.2 s is usual; 5 s is the watchdog that ends a shutdown which hangs.
        case.check(took < 3, f"Ctrl+C took {took:.2f} s")
        note(f"{case.name}: ended {took:.2f} s after Ctrl+C")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def note(text):
    print(f"VMNOTE {text}", flush=True)


class Env:
    def __init__(self, args):
        self.args = args
        self.devices = Devices(args.uhid)
        # Copies any user can run, wherever the build lies.
        os.makedirs(f"{SCRATCH}/bin", exist_ok=True)
        self.lumivane = shutil.copy(args.lumivane, f"{SCRATCH}/bin/lumivane")
        os.chmod(self.lumivane, 0o755)
        self.port = 47000

    def folder(self, name, config):
        """A working folder with lumivane.cfg: [config] with a port of its own, then config."""
        self.port += 1
        folder = f"{SCRATCH}/{name}"
        os.makedirs(folder, mode=0o755)
        with open(f"{folder}/lumivane.cfg", "w") as f:
            f.write(f"[config]\noutGaugePort={self.port}\n{config}")
        return folder

    def send(self, *args):
        subprocess.run([self.args.ogsend, "--port", str(self.port), *args], check=True,
                       stdout=subprocess.DEVNULL, timeout=60)

    def send_hold(self, *args):
        return subprocess.Popen([self.args.ogsend, "--port", str(self.port), "--hold", *args],
                                stdout=subprocess.DEVNULL)


def case_reports(env, case):
    """The report for each LED state of a car, then the all-off reports of the idle rule."""
    dev = env.devices
    dev.plug(case, "leds", 0xCA03)
    folder = env.folder("reports", "[XRT]\nLED1=1\nLED2=-3\n")
    prog = Program(env.lumivane, folder)
    try:
        prog.expect_startup(case, env.port, 0xCA03, ["initHID: Device found.",
                                                    "Ready for OutGauge data"])
        case.check(dev.wait("leds", "open") is not None, "the device was not opened")
        # LED 1 is the shift light, LED 2 is on while the limiter is off.
        for flags, leds in (("shift", 3), ("0", 2), ("pitspeed", 0), ("shift,pitspeed", 1)):
            since = time.monotonic()
            env.send("--car", "XRT", "--flags", flags, "--count", "5", "--rate", "100")
            case.check(dev.wait("leds", "output", report(leds), since, 5) is not None,
                       f"flags {flags}: no report {report(leds)}; got "
                       f"{[d for _, d in dev.outputs('leds', since)]}")
        case.check(prog.line() == "Car: XRT", "no 'Car: XRT' line")
        time.sleep(4)
        # The last datagrams' reports, then nothing but all-off reports.
        got = dev.outputs("leds", since)
        fed = [t for t, d in got if d == report(1)]
        case.require(fed, f"no report of the last datagrams: {got}")
        after = [(t, d) for t, d in got if t > fed[-1]]
        off = [t for t, d in after if d == report(0)]
        case.check(len(off) == len(after), f"stray reports after the last datagrams: {after}")
        case.require(len(off) >= 6, f"all-off reports: {after}")
        silence = off[0] - fed[-1]
        gap = statistics.median(b - a for a, b in zip(off, off[1:]))
        note(f"{case.name}: first all-off report {silence * 1000:.0f} ms after the last "
               f"datagram's, then {len(off)} in {(off[-1] - off[0]) * 1000:.0f} ms, "
               f"median gap {gap * 1000:.0f} ms")
        case.check(1.9 <= silence <= 4, f"first all-off report {silence:.3f} s after the last")
        case.check(0.1 <= gap <= 0.4, f"all-off reports {gap:.3f} s apart")
        case.check(prog.line(0.1) is None, f"unexpected output {prog.lines[prog.taken:]}")
        prog.ctrl_c(case)
    finally:
        prog.kill()
        dev.unplug("leds")


def case_unplug(env, case):
    """Unplugged while datagrams stream: runs on silently, never opens the replugged device."""
    dev = env.devices
    node = dev.plug(case, "gone", 0xCA03)
    folder = env.folder("unplug", "[XRT]\nLED1=14\nLED2=14\n")
    prog = Program(env.lumivane, folder)
    sender = None
    try:
        prog.expect_startup(case, env.port, 0xCA03, ["initHID: Device found.",
                                                    "Ready for OutGauge data"])
        sender = env.send_hold("--car", "XRT")
        case.require(dev.wait("gone", "output", report(3)) is not None, "no report before unplug")
        case.check(prog.line() == "Car: XRT", "no 'Car: XRT' line")
        dev.unplug("gone")
        unplugged = time.monotonic()
        time.sleep(1.5)
        node2 = dev.plug(case, "back", 0xCA03)
        note(f"{case.name}: device on {node}, replugged as {node2}")
        time.sleep(1.5)
        sender.send_signal(signal.SIGINT)
        sender.wait(10)
        # Past the 2 s of the idle rule: the all-off reports go to the gone device too.
        time.sleep(3)
        case.check(prog.proc.poll() is None, "the program ended after the unplug")
        case.check(prog.line(0.1) is None, f"printed after the unplug: {prog.lines[prog.taken:]}")
        case.check(not dev.outputs("gone", unplugged + 0.05), "reports after the unplug")
        case.check(not dev.of("back", "open") and not dev.outputs("back"),
                   f"the replugged device was used: {dev.of('back', 'open')} "
                   f"{dev.outputs('back')}")
        prog.ctrl_c(case)
    finally:
        if sender and sender.poll() is None:
            sender.kill()
        prog.kill()
        dev.unplug("back")


def case_no_rights(env, case):
    """A user who may not open the node: the reason, then the start-up without a device."""
    dev = env.devices
    node = dev.plug(case, "locked", 0xCA03)
    mode = os.stat(f"/dev/{node}").st_mode & 0o777
    note(f"{case.name}: /dev/{node} has mode {mode:o}")
    folder = env.folder("rights", "")
    prog = Program(env.lumivane, folder, uid=NOBODY)
    try:
        prog.expect_startup(case, env.port, 0xCA03, [
            f"initHID: Cannot open /dev/{node}: Permission denied", "initHID: Device not found.",
            "HID init failed!", "ogClose: Closing OutGauge...", "Ready for OutGauge data"])
        time.sleep(1.5)
        case.check(prog.proc.poll() is None, "the program ended")
        case.check(prog.line(0.1) is None, f"unexpected output {prog.lines[prog.taken:]}")
        case.check(not dev.of("locked", "open"), "the device was opened")
        prog.ctrl_c(case, closing_line=False)
    finally:
        prog.kill()
        dev.unplug("locked")


def case_several(env, case):
    """Two identical devices and one of another product: deviceNum picks among the first two."""
    dev = env.devices
    nodes = {name: dev.plug(case, name, product)
             for name, product in (("first", 0xCA03), ("other", 0xCA04), ("second", 0xCA03))}
    note(f"{case.name}: nodes {nodes}")
    number = {name: int(node[len("hidraw"):]) for name, node in nodes.items()}
    order = sorted(("first", "second"), key=number.get)
    try:
        for index, target in enumerate(order):
            folder = env.folder(f"several{index}", f"deviceNum={index}\n[default]\nLED1=14\n")
            since = time.monotonic()
            prog = Program(env.lumivane, folder)
            try:
                prog.expect_startup(case, env.port, 0xCA03, ["initHID: Device found.",
                                                            "Ready for OutGauge data"])
                env.send("--car", "ANY", "--count", "5", "--rate", "100")
                case.check(prog.line() == "Car: ANY", "no 'Car: ANY' line")
                case.check(dev.wait(target, "output", report(1), since, 5) is not None,
                           f"deviceNum {index}: no report on {nodes[target]}")
                prog.ctrl_c(case)
            finally:
                prog.kill()
            for name in nodes:
                if name != target:
                    case.check(not dev.outputs(name, since),
                               f"deviceNum {index}: reports on {nodes[name]} ({name})")
        case.check(not dev.of("other", "open"), "the device of another product was opened")
    finally:
        for name in nodes:
            dev.unplug(name)


def case_udev_rule(env, case):
    """The packaged udev rule gives the hidraw node of the device to the user at the seat."""
    dev = env.devices
    node = dev.plug(case, "seat", 0xCA03)
    rules = "/run/udev/rules.d"
    os.makedirs(rules, exist_ok=True)

    def tags():
        out = subprocess.run(["udevadm", "test", f"/sys/class/hidraw/{node}"],
                             capture_output=True, text=True, timeout=60)
        found = re.findall(r"^(?:CURRENT_)?TAGS=(\S*)$", out.stdout + out.stderr, re.M)
        return found, out

    try:
        without, _ = tags()
        shutil.copy(env.args.rules, f"{rules}/70-lumivane.rules")
        with_rule, out = tags()
        note(f"{case.name}: tags without the rule {without}, with it {with_rule}")
        case.check(not any("uaccess" in t for t in without), f"uaccess without the rule {without}")
        case.check(with_rule and all(":uaccess:" in t for t in with_rule),
                   f"no uaccess tag with the rule; udevadm said:\n{out.stdout}{out.stderr}")
    finally:
        shutil.rmtree(rules, ignore_errors=True)
        dev.unplug("seat")


CASES = [case_reports, case_unplug, case_no_rights, case_several, case_udev_rule]


def main():
    parser = argparse.ArgumentParser()
    for name in ("lumivane", "ogsend", "uhid", "rules"):
        parser.add_argument(f"--{name}", required=True)
    args = parser.parse_args()
    env = Env(args)
    failed = 0
    for run in CASES:
        case = Case(run.__name__[len("case_"):])
        start = time.monotonic()
        try:
            run(env, case)
        except CaseFailed:
            pass
        except Exception:
            case.failures.append(traceback.format_exc())
        for failure in case.failures:
            print(f"VMFAIL {case.name}: {failure}", flush=True)
        verdict = "FAIL" if case.failures else "PASS"
        print(f"VMCASE {case.name} {verdict} {time.monotonic() - start:.1f}", flush=True)
        failed += bool(case.failures)
    env.devices.close()
    return 1 if failed else 0


if __name__ == "__main__":
    raise SystemExit(main())
