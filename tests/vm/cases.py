#!/usr/bin/env python3
"""The cases run inside the test machine, as root, against devices of the kernel's HID core.

A case is written once and runs against the Linux programs (--leg linux) or the Windows programs
under Wine (--leg windows), whose HID stack sees the guest's hidraw devices; a Leg holds what
differs between the two. Each case prints one line "VMCASE NAME PASS" or "VMCASE NAME FAIL",
preceded by a "VMFAIL" line per failed check; "VMNOTE" lines record what was measured. Exit
status 0 when every case passed.
"""
import argparse
import glob
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import threading
import time
import traceback

NOBODY = 65534
# The guest's writable folder, a tmpfs; the rest of the shared root is read-only.
SCRATCH = "/run/lumivane-vm"
INIT_LINE = "initHID: Initializing HID (Device ID 0x{:04X})...HID GUID: 4D1E55B2"
# The datagrams that today's senders write, as hex text.
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
# The end of a start-up that found the device.
FOUND = ["initHID: Device found.", "Ready for OutGauge data"]
# What the program says when the device it drives is gone.
LOST = "initHID: Device lost, waiting for it to come back..."


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

    def __init__(self, exe, leg):
        self.leg = leg
        self.nodes = {}
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
        """Plugs a device in; returns its hidraw node name once it is there and the leg's
        programs can see it."""
        error = self._command(f"plug {name} {product:x}", name, "plugged")
        case.require(error is None, f"cannot plug {name} in: {error}")
        deadline = time.monotonic() + 10
        node = None
        while node is None and time.monotonic() < deadline:
            node = hidraw_of(name)
            time.sleep(0.05)
        case.require(node is not None, f"no hidraw node for the device {name}")
        case.require(self.leg.plugged(self, name), f"{self.leg.name}: {name} not seen in time")
        self.nodes[name] = node
        return node

    def unplug(self, name):
        self._command(f"unplug {name}", name, "unplugged")
        self.leg.unplugged(self.nodes.pop(name, None))

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
    """The real lumivane of the leg, started in a folder of its own as a user starts it."""

    def __init__(self, leg, folder, uid=None):
        cmd = leg.command(leg.lumivane)
        if uid is not None:
            cmd = ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups", *cmd]
        self.leg = leg
        self.folder = folder
        self.proc = subprocess.Popen(cmd, cwd=folder, env=leg.env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE)
        self.lines = []
        self.taken = 0
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            with self.cond:
                self.lines.append(raw.decode(errors="replace").rstrip("\r\n"))
                self.cond.notify_all()

    def line(self, timeout=30):
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
                           f"Loading config {self.leg.config_path(self.folder)}...",
                           f"ogInit: Initializing OutGauge, port {port}...",
                           INIT_LINE.format(product)] + device_lines)

    def ctrl_c(self, case, closing_line=True, within=(0, 3), status=None):
        """Ctrl+C: the shutdown transcript, and the end with the given status (by default the
        leg's for Ctrl+C) within the given seconds (about 0.2 s is usual; 5 s is the bound on a
        shutdown that hangs)."""
        case.require(self.proc.poll() is None, f"ended before Ctrl+C: {self.lines}")
        start = time.monotonic()
        self.proc.send_signal(signal.SIGINT)
        try:
            ended = self.proc.wait(15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            ended = None
        took = time.monotonic() - start
        wanted = ["Shutdown..."] + (["ogClose: Closing OutGauge..."] if closing_line else [])
        for want in wanted:
            got = self.line(2)
            case.check(got == want, f"after Ctrl+C expected {want!r}, got {got!r}")
        status = self.leg.ctrl_c_status if status is None else status
        case.check(ended == status, f"status after Ctrl+C: {ended}, not {status}")
        case.check(within[0] <= took < within[1], f"Ctrl+C took {took:.2f} s")
        note(f"{case.name}: ended {took:.2f} s after Ctrl+C")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def note(text):
    print(f"VMNOTE {text}", flush=True)


def install(path):
    """A copy of a program on the guest's own file system, that any user can run. Wine cannot
    run a program from the shared root: pages of its code come out wrong through 9p."""
    os.makedirs(f"{SCRATCH}/bin", exist_ok=True)
    copy = shutil.copy(path, f"{SCRATCH}/bin/{os.path.basename(path)}")
    os.chmod(copy, 0o755)
    return copy


class LinuxLeg:
    """The Linux programs, run as they are."""

    name = "linux"
    ctrl_c_status = -signal.SIGINT
    # Every open of a device is the program's.
    opens_are_the_programs = True

    def __init__(self, args):
        self.env = None
        self.lumivane = install(args.lumivane)
        self.ogsend = args.ogsend

    def command(self, exe, *args):
        return [exe, *args]

    def config_path(self, folder):
        return f"{folder}/lumivane.cfg"

    def plugged(self, devices, name):
        return True

    def unplugged(self, node):
        pass

    def close(self):
        pass


class WindowsLeg:
    """The Windows programs under Wine, in the prefix shared into the guest. udev runs, as on
    a desktop: Wine's HID bus hears of devices plugged in later from udev, not the kernel."""

    name = "windows"
    # Wine's default handling of Ctrl+C ends the program with status 0 (Windows itself uses
    # STATUS_CONTROL_C_EXIT). The program's own watchdog ends it with STATUS_CONTROL_C_EXIT,
    # of which Wine's process exits with the low byte.
    ctrl_c_status = 0
    watchdog_status = 0xC000013A & 0xFF
    # Wine's HID bus opens every device when it appears, whether a program uses it or not.
    opens_are_the_programs = False

    def __init__(self, args):
        self.emulator = args.emulator
        self.lumivane = install(args.lumivane)
        self.ogsend = install(args.ogsend)
        # Wine runs only as the owner of its prefix: the user who ran the test on the host,
        # whose devices then have to be open to that user.
        owner = os.stat(args.prefix)
        self.user = []
        if owner.st_uid != 0:
            self.user = ["setpriv", f"--reuid={owner.st_uid}", f"--regid={owner.st_gid}",
                         "--clear-groups"]
            os.makedirs("/run/udev/rules.d", exist_ok=True)
            with open("/run/udev/rules.d/99-lumivane-vm.rules", "w") as f:
                f.write('SUBSYSTEM=="hidraw", MODE="0666"\n')
        # The shared root is read-only: Wine's server puts its socket under TMPDIR.
        os.makedirs(f"{SCRATCH}/tmp", exist_ok=True)
        os.chown(f"{SCRATCH}/tmp", owner.st_uid, owner.st_gid)
        self.env = dict(os.environ, WINEPREFIX=args.prefix, TMPDIR=f"{SCRATCH}/tmp",
                        WINEDEBUG="-all")
        subprocess.run(["/lib/systemd/systemd-udevd", "--daemon"], check=True, timeout=60)
        # One Wine session for every case: its first start (services, plug and play, the HID
        # bus) takes half a minute or more here.
        subprocess.run([*self.user, "wineserver", "-p"], env=self.env, check=True, timeout=60)
        start = time.monotonic()
        subprocess.run(self.command("cmd", "/c", "exit"), env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=600)
        note(f"Wine's first start took {time.monotonic() - start:.1f} s")

    def command(self, exe, *args):
        return [*self.user, self.emulator, exe, *args]

    def config_path(self, folder):
        return "Z:" + folder.replace("/", "\\") + "\\lumivane.cfg"

    def plugged(self, devices, name):
        # Wine's HID bus opens the device's hidraw node as it takes the device in.
        return devices.wait(name, "open", timeout=60) is not None

    def unplugged(self, node):
        """Waits until Wine has let go of an unplugged device. Its HID bus closes the node only
        after the device has left the list that programs search; a program started before
        that would still count the device."""
        start = time.monotonic()
        while node is not None and time.monotonic() - start < 60:
            held = False
            for fd in glob.glob("/proc/[0-9]*/fd/*"):
                try:
                    held = held or os.readlink(fd).split(" ")[0] == f"/dev/{node}"
                except OSError:
                    pass
            if not held:
                note(f"Wine let go of {node} {time.monotonic() - start:.1f} s after the unplug")
                return
            time.sleep(0.2)
        note(f"Wine still holds {node} a minute after the unplug")

    def close(self):
        subprocess.run([*self.user, "wineserver", "-k"], env=self.env, timeout=60)


class Env:
    def __init__(self, args):
        self.args = args
        self.leg = (WindowsLeg if args.leg == "windows" else LinuxLeg)(args)
        self.devices = Devices(args.uhid, self.leg)
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
        subprocess.run(self.leg.command(self.leg.ogsend, "--port", str(self.port), *args),
                       env=self.leg.env, check=True, stdout=subprocess.DEVNULL, timeout=60)

    def send_file(self, name, count):
        """Sends a datagram kept as hex text in tests/data, count times 10 ms apart."""
        with open(os.path.join(DATA, name)) as f:
            data = bytes.fromhex(" ".join(line.split("#")[0] for line in f))
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for _ in range(count):
                s.sendto(data, ("127.0.0.1", self.port))
                time.sleep(0.01)

    def send_hold(self, *args):
        return subprocess.Popen(
            self.leg.command(self.leg.ogsend, "--port", str(self.port), "--hold", *args),
            env=self.leg.env, stdout=subprocess.DEVNULL)


def plug_and_wait(env, case, prog, name, leds):
    """Plugs the device called name in while prog runs: the program prints the two lines of a
    device found and writes the report of leds to it. The times of the plug and of that report
    (None when none came)."""
    env.devices.plug(case, name, 0xCA03)
    plugged = time.monotonic()
    prog.expect(case, [INIT_LINE.format(0xCA03), "initHID: Device found."])
    got = env.devices.wait(name, "output", report(leds), plugged, 60)
    case.check(got is not None, f"no report {report(leds)} to {name} after it was plugged in")
    return plugged, got


def stop_sender(sender):
    """Ends a sender of send_hold as Ctrl+C does, or kills it should it hang."""
    if sender is None or sender.poll() is not None:
        return
    sender.send_signal(signal.SIGINT)
    try:
        sender.wait(10)
    except subprocess.TimeoutExpired:
        sender.kill()


def case_reports(env, case):
    """The report for each LED state of a car, then the all-off reports of the idle rule."""
    dev = env.devices
    dev.plug(case, "leds", 0xCA03)
    folder = env.folder("reports", "[XRT]\nLED1=1\nLED2=-3\n[beam]\nLED1=1\nLED2=16\n")
    prog = Program(env.leg, folder)
    try:
        prog.expect_startup(case, env.port, 0xCA03, FOUND)
        case.check(dev.wait("leds", "open") is not None, "the device was not opened")
        # A datagram as one sender writes it today: 109 bytes, the car "beam", the shift light
        # and the battery warning in the lights word.
        since = time.monotonic()
        env.send_file("datagram_beamng.hex", 5)
        case.check(dev.wait("leds", "output", report(3), since, 5) is not None,
                   f"109-byte beam datagram: no report {report(3)}; got "
                   f"{[d for _, d in dev.outputs('leds', since)]}")
        case.check(prog.line() == "Car: beam", "no 'Car: beam' line")
        # LED 1 is the shift light, LED 2 is on while the limiter is off; ogsend sends them
        # in the current layout.
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
    """Unplugged while datagrams stream, then plugged in again (the same device: the same name
    and serial number): the program says the device is lost, lets go of it, and drives it again
    once it is back."""
    dev = env.devices
    node = dev.plug(case, "gone", 0xCA03)
    folder = env.folder("unplug", "[XRT]\nLED1=14\nLED2=14\n")
    prog = Program(env.leg, folder)
    sender = None
    try:
        prog.expect_startup(case, env.port, 0xCA03, FOUND)
        sender = env.send_hold("--car", "XRT")
        case.require(dev.wait("gone", "output", report(3)) is not None, "no report before unplug")
        case.check(prog.line() == "Car: XRT", "no 'Car: XRT' line")
        time.sleep(1)
        before = len(dev.outputs("gone"))
        dev.unplug("gone")
        unplugged = time.monotonic()
        case.require(prog.line(60) == LOST, f"no word of the lost device: {prog.lines}")
        note(f"{case.name}: {before} reports before the unplug, lost "
             f"{time.monotonic() - unplugged:.1f} s after it")
        if env.leg.opens_are_the_programs:
            held = [os.readlink(fd) for fd in glob.glob(f"/proc/{prog.proc.pid}/fd/*")]
            case.check(not any("hidraw" in link for link in held),
                       f"the lost device's node is still held: {held}")
        case.check(not dev.outputs("gone", unplugged + 0.05), "reports while unplugged")
        plugged, back = plug_and_wait(env, case, prog, "gone", 3)
        if back is not None:
            time.sleep(1)
            note(f"{case.name}: device on {node}, plugged in again as {dev.nodes['gone']}; "
                 f"reports again "
                 f"{back - plugged:.1f} s after the plug, {len(dev.outputs('gone', plugged))} "
                 f"in the {time.monotonic() - back:.1f} s since")
        case.check(prog.line(0.1) is None, f"unexpected output {prog.lines[prog.taken:]}")
        stop_sender(sender)
        prog.ctrl_c(case)
    finally:
        stop_sender(sender)
        prog.kill()
        dev.unplug("gone")


def case_late(env, case):
    """Started before the device is plugged in: datagrams are read, and the device is found
    when it comes and shown the car's state."""
    dev = env.devices
    folder = env.folder("late", "[default]\nLED1=14\n")
    prog = Program(env.leg, folder)
    sender = None
    try:
        prog.expect_startup(case, env.port, 0xCA03, ["initHID: Device not found.",
                                                      "HID init failed!",
                                                      "Ready for OutGauge data"])
        sender = env.send_hold("--car", "LATE")
        case.check(prog.line() == "Car: LATE", "no 'Car: LATE' line")
        time.sleep(2)
        plugged, got = plug_and_wait(env, case, prog, "late", 1)
        if got is not None:
            note(f"{case.name}: first report {got - plugged:.1f} s after the plug")
        stop_sender(sender)
        prog.ctrl_c(case)
    finally:
        stop_sender(sender)
        prog.kill()
        dev.unplug("late")


def case_no_rights(env, case):
    """A user who may not open the node: the reason, then the start-up without a device."""
    dev = env.devices
    node = dev.plug(case, "locked", 0xCA03)
    mode = os.stat(f"/dev/{node}").st_mode & 0o777
    note(f"{case.name}: /dev/{node} has mode {mode:o}")
    folder = env.folder("rights", "")
    prog = Program(env.leg, folder, uid=NOBODY)
    try:
        prog.expect_startup(case, env.port, 0xCA03, [
            f"initHID: Cannot open /dev/{node}: Permission denied", "initHID: Device not found.",
            "HID init failed!", "Ready for OutGauge data"])
        time.sleep(1.5)
        case.check(prog.proc.poll() is None, "the program ended")
        case.check(prog.line(0.1) is None, f"unexpected output {prog.lines[prog.taken:]}")
        case.check(not dev.of("locked", "open"), "the device was opened")
        prog.ctrl_c(case)
    finally:
        prog.kill()
        dev.unplug("locked")


def case_several(env, case):
    """Two identical devices and one of another product: deviceNum 0 and 1 drive one of the
    first two each, in the order of the platform's search (on Linux, of the hidraw numbers)."""
    dev = env.devices
    nodes = {name: dev.plug(case, name, product)
             for name, product in (("first", 0xCA03), ("other", 0xCA04), ("second", 0xCA03))}
    note(f"{case.name}: nodes {nodes}")
    number = {name: int(node[len("hidraw"):]) for name, node in nodes.items()}
    driven = []
    try:
        for index in (0, 1):
            folder = env.folder(f"several{index}", f"deviceNum={index}\n[default]\nLED1=14\n")
            since = time.monotonic()
            prog = Program(env.leg, folder)
            try:
                prog.expect_startup(case, env.port, 0xCA03, FOUND)
                env.send("--car", "ANY", "--count", "5", "--rate", "100")
                case.check(prog.line() == "Car: ANY", "no 'Car: ANY' line")
                deadline = time.monotonic() + 5
                while time.monotonic() < deadline and not any(
                        d == report(1) for name in nodes for _, d in dev.outputs(name, since)):
                    time.sleep(0.05)
                prog.ctrl_c(case)
            finally:
                prog.kill()
            got = [name for name in nodes if dev.outputs(name, since)]
            case.check(len(got) == 1, f"deviceNum {index}: reports on {got}")
            driven += got
        note(f"{case.name}: deviceNum 0 and 1 drove {driven}")
        case.check(sorted(driven) == ["first", "second"], f"deviceNum 0 and 1 drove {driven}")
        if env.leg.name == "linux":
            case.check(driven == sorted(("first", "second"), key=number.get),
                       f"not in the order of the hidraw numbers: {driven}, {nodes}")
        if env.leg.opens_are_the_programs:
            case.check(not dev.of("other", "open"), "the device of another product was opened")
        case.require(len(driven) == 2, f"deviceNum 0 and 1 drove {driven}")
        several_replug(env, case, first=driven[0], second=driven[1])
    finally:
        for name in nodes:
            dev.unplug(name)


def several_replug(env, case, first, second):
    """deviceNum 1, its device unplugged and plugged in again: it is driven again, and the first
    one never."""
    dev = env.devices
    folder = env.folder("several-replug", "deviceNum=1\n[default]\nLED1=14\n")
    start = time.monotonic()
    prog = Program(env.leg, folder)
    sender = None
    try:
        prog.expect_startup(case, env.port, 0xCA03, FOUND)
        sender = env.send_hold("--car", "ANY")
        case.check(prog.line() == "Car: ANY", "no 'Car: ANY' line")
        case.require(dev.wait(second, "output", report(1), start) is not None,
                     f"no report to {second}")
        dev.unplug(second)
        case.require(prog.line(60) == LOST, f"no word of the lost device: {prog.lines}")
        plugged, got = plug_and_wait(env, case, prog, second, 1)
        if got is not None:
            note(f"{case.name}: deviceNum 1 drove {second} again {got - plugged:.1f} s after "
                 f"it was plugged in again")
        wrong = dev.outputs(first, start)
        case.check(not wrong, f"{len(wrong)} reports to {first}")
        stop_sender(sender)
        prog.ctrl_c(case)
    finally:
        stop_sender(sender)
        prog.kill()


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
        # An empty file of the same name hides the rule of a package installed on this machine.
        open(f"{rules}/70-lumivane.rules", "w").close()
        without, _ = tags()
        shutil.copy(f"{env.args.packaging}/70-lumivane.rules", f"{rules}/70-lumivane.rules")
        with_rule, out = tags()
        note(f"{case.name}: tags without the rule {without}, with it {with_rule}")
        case.check(not any("uaccess" in t for t in without), f"uaccess without the rule {without}")
        # Access for the user at the seat, and the name by which systemd starts the service.
        case.check(with_rule and all(":uaccess:" in t and ":systemd:" in t for t in with_rule)
                   and re.search(r"^DEVLINKS=/dev/lumivane$", out.stdout + out.stderr, re.M),
                   f"no uaccess and systemd tags or no /dev/lumivane with the rule; udevadm "
                   f"said:\n{out.stdout}{out.stderr}")
    finally:
        shutil.rmtree(rules, ignore_errors=True)
        dev.unplug("seat")


class UserManager:
    """A user's session as a desktop has it: udev with the packaged rule, and a systemd user
    manager (root's, standing in for a user's) with the packaged units, the program's output
    appended to a file as journald is not running. Its configuration folder is CONFIG."""

    CONFIG = f"{SCRATCH}/config"
    OUTPUT = f"{SCRATCH}/service.out"

    def __init__(self, env):
        self.env = env
        os.makedirs("/run/udev/rules.d", exist_ok=True)
        shutil.copy(f"{env.args.packaging}/70-lumivane.rules", "/run/udev/rules.d/")
        subprocess.run(["/lib/systemd/systemd-udevd", "--daemon"], check=True, timeout=60)
        units = "/run/systemd/user"
        os.makedirs(f"{units}/lumivane.service.d", exist_ok=True)
        for unit in ("lumivane.service", "lumivane-login.service"):
            shutil.copy(f"{env.args.packaging}/{unit}", units)
        with open(f"{units}/lumivane.service.d/test.conf", "w") as f:
            f.write(f"[Service]\nExecStart=\nExecStart={env.leg.lumivane}\n"
                    f"StandardOutput=append:{self.OUTPUT}\n")
        # What a user manager needs of a system not booted with systemd: a cgroup of its own
        # in the unified hierarchy, and the mark that systemd runs.
        subprocess.run(["mount", "-t", "cgroup2", "none", "/sys/fs/cgroup"], check=True)
        self.cgroup = "/sys/fs/cgroup/user.slice/user-0"
        os.makedirs(self.cgroup, exist_ok=True)
        os.makedirs("/run/systemd/system", exist_ok=True)
        os.makedirs("/run/user/0", mode=0o700, exist_ok=True)
        self.vars = dict(os.environ, XDG_RUNTIME_DIR="/run/user/0", XDG_CONFIG_HOME=self.CONFIG,
                         SYSTEMD_IGNORE_CHROOT="1")
        self.proc = None

    def login(self, case):
        """Starts the user manager and waits until it has started its units."""
        def enter_cgroup():
            with open(f"{self.cgroup}/cgroup.procs", "w") as f:
                f.write("0")
        start = time.monotonic()
        self.proc = subprocess.Popen(["/lib/systemd/systemd", "--user"], env=self.vars,
                                     preexec_fn=enter_cgroup, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        while time.monotonic() - start < 120:
            state = self.ctl("is-system-running").stdout.strip()
            if state in ("running", "degraded"):
                note(f"{case.name}: the user manager started in {time.monotonic() - start:.1f} s")
                return
            time.sleep(0.5)
        case.require(False, f"the user manager did not start: {state}")

    def logout(self):
        if self.proc is not None:
            self.proc.terminate()
            self.proc.wait(60)
            self.proc = None

    def ctl(self, *args):
        return subprocess.run(["systemctl", "--user", *args], env=self.vars, timeout=60,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)

    def wait_active(self, want, timeout=30):
        """Whether lumivane.service comes to be active (or not) within the time."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if (self.ctl("is-active", "lumivane").stdout.strip() == "active") == want:
                return True
            time.sleep(0.2)
        return False

    def output(self):
        try:
            with open(self.OUTPUT) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def configure(self, config):
        """The user's configuration, with a port of its own; None removes the folder."""
        shutil.rmtree(f"{self.CONFIG}/lumivane", ignore_errors=True)
        if config is None:
            return None
        self.env.port += 1
        os.makedirs(f"{self.CONFIG}/lumivane")
        with open(f"{self.CONFIG}/lumivane/lumivane.cfg", "w") as f:
            f.write(f"[config]\noutGaugePort={self.env.port}\n{config}")
        return f"{self.CONFIG}/lumivane/lumivane.cfg"


def service_drives(env, case, manager, name, since_line):
    """The service's program has found the device called name and lights it from datagrams."""
    case.require(manager.wait_active(True), f"{name}: lumivane.service did not start: "
                                            f"{manager.ctl('status', 'lumivane').stdout}")
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and "Ready for OutGauge data" not in \
            manager.output()[since_line:]:
        time.sleep(0.2)
    lines = manager.output()[since_line:]
    case.require("initHID: Device found." in lines, f"{name}: the service printed {lines}")
    since = time.monotonic()
    env.send("--car", "XRT", "--count", "5", "--rate", "100")
    case.check(env.devices.wait(name, "output", report(1), since, 10) is not None,
               f"{name}: no report from the service's program")


def service_stops(case, manager, name, since_line):
    """Unplugged, the device takes the service down with the program's orderly shutdown."""
    case.check(manager.wait_active(False), f"{name}: lumivane.service still runs after the unplug")
    lines = manager.output()[since_line:]
    case.check(lines[-2:] == ["Shutdown...", "ogClose: Closing OutGauge..."],
               f"{name}: the service's program ended with {lines}")


def case_service(env, case):
    """The systemd user service: nothing for a user who has not turned it on; turned on, it
    starts with the device, stops with it and starts again with the replugged device, starts
    at login when the device is there, and says so when the configuration is missing."""
    dev = env.devices
    manager = UserManager(env)
    try:
        manager.login(case)
        manager.configure("[default]\nLED1=14\n")
        # Not turned on: plugging the device starts nothing.
        dev.plug(case, "off", 0xCA03)
        time.sleep(3)
        case.check(manager.ctl("is-active", "lumivane").stdout.strip() != "active" and
                   not manager.output(), "lumivane.service started without being turned on")
        dev.unplug("off")

        on = manager.ctl("enable", "--now", "lumivane")
        case.require(on.returncode == 0, f"turning it on failed: {on.stdout}{on.stderr}")
        for name in ("svc", "again"):
            mark = len(manager.output())
            dev.plug(case, name, 0xCA03)
            service_drives(env, case, manager, name, mark)
            dev.unplug(name)
            service_stops(case, manager, name, mark)

        # Logging in with the device plugged in already.
        manager.logout()
        mark = len(manager.output())
        dev.plug(case, "login", 0xCA03)
        manager.login(case)
        service_drives(env, case, manager, "login", mark)
        dev.unplug("login")
        service_stops(case, manager, "login", mark)

        # No configuration: the status says which file is missing.
        manager.configure(None)
        dev.plug(case, "nocfg", 0xCA03)
        path = f"{UserManager.CONFIG}/lumivane/lumivane.cfg"
        deadline = time.monotonic() + 30
        status = ""
        while time.monotonic() < deadline and "was not met" not in status:
            status = manager.ctl("status", "lumivane").stdout
            time.sleep(0.5)
        note(f"{case.name}: without a configuration: "
             f"{[l.strip() for l in status.splitlines() if 'ssert' in l]}")
        case.check(f"AssertPathExists={path} was not met" in status,
                   f"no word of the missing configuration: {status}")
        dev.unplug("nocfg")
        off = manager.ctl("disable", "--now", "lumivane")
        case.check(off.returncode == 0, f"turning it off failed: {off.stdout}{off.stderr}")
    finally:
        manager.logout()


def wine_bus_host():
    """The process that hosts Wine's HID bus driver, or None."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/maps") as f:
                if "winebus" in f.read():
                    return int(pid)
        except OSError:
            pass
    return None


def case_stop_hang(env, case):
    """A report write that never returns: Ctrl+C still ends the program, 5 s after the event.

    Wine hands a write to a HID device to its HID class and bus drivers, which run in a process
    of their own; stopped, that process leaves the write pending, as a driver that never
    completes it would."""
    dev = env.devices
    dev.plug(case, "stuck", 0xCA03)
    folder = env.folder("hang", "")
    prog = Program(env.leg, folder)
    host = None
    try:
        prog.expect_startup(case, env.port, 0xCA03, FOUND)
        # No datagrams: the idle rule writes an all-off report about every 110 ms.
        case.require(dev.wait("stuck", "output", report(0)) is not None, "no idle report")
        host = wine_bus_host()
        case.require(host is not None, "no process hosts Wine's HID bus driver")
        os.kill(host, signal.SIGSTOP)
        stopped = time.monotonic()
        time.sleep(1)
        case.check(not dev.outputs("stuck", stopped + 0.2), "reports with the bus stopped")
        prog.ctrl_c(case, within=(4.5, 10), status=env.leg.watchdog_status)
    finally:
        prog.kill()
        if host is not None:
            os.kill(host, signal.SIGCONT)
        dev.unplug("stuck")


def case_soak(env, case):
    """Not in CI: datagrams streaming for --soak seconds with the device unplugged and plugged in
    again every 30 s. Notes, after each return, how soon reports came again, the program's
    resident memory and open descriptors, and the reports since the last return."""
    dev = env.devices
    dev.plug(case, "soak", 0xCA03)
    folder = env.folder("soak", "[XRT]\nLED1=14\nLED2=-3\n")
    prog = Program(env.leg, folder)
    sender = None
    try:
        prog.expect_startup(case, env.port, 0xCA03, FOUND)
        sender = env.send_hold("--car", "XRT")
        case.check(prog.line() == "Car: XRT", "no 'Car: XRT' line")
        start = time.monotonic()
        last = start
        rounds = 0
        while time.monotonic() - start + 30 <= env.args.soak:
            time.sleep(max(0.0, 30 - (time.monotonic() - last)))
            dev.unplug("soak")
            case.require(prog.line(60) == LOST, f"round {rounds}: no word of the lost device")
            plugged, back = plug_and_wait(env, case, prog, "soak", 3)
            case.require(back is not None, f"round {rounds}: no report after the return")
            rounds += 1
            with open(f"/proc/{prog.proc.pid}/status") as f:
                rss = re.search(r"VmRSS:\s*(\d+)", f.read()).group(1)
            fds = len(os.listdir(f"/proc/{prog.proc.pid}/fd"))
            note(f"{case.name}: return {rounds} at {back - start:.0f} s: reports again "
                 f"{back - plugged:.1f} s after the plug; VmRSS {rss} kB, {fds} descriptors, "
                 f"{len(dev.outputs('soak', last))} reports since the last return")
            last = back
        stop_sender(sender)
        prog.ctrl_c(case)
    finally:
        stop_sender(sender)
        prog.kill()
        dev.unplug("soak")


CASES = {
    "linux": [case_reports, case_unplug, case_late, case_no_rights, case_several,
              case_udev_rule, case_service],
    "windows": [case_reports, case_unplug, case_late, case_several, case_stop_hang],
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--leg", choices=CASES, default="linux")
    for name in ("lumivane", "ogsend", "uhid", "packaging", "emulator", "prefix"):
        parser.add_argument(f"--{name}")
    parser.add_argument("--soak", type=float, default=0,
                        help="run only the soak case, for this many seconds")
    args = parser.parse_args()
    env = Env(args)
    failed = 0
    for run in [case_soak] if args.soak else CASES[args.leg]:
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
    env.leg.close()
    return 1 if failed else 0


if __name__ == "__main__":
    raise SystemExit(main())
