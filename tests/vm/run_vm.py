#!/usr/bin/env python3
"""Boots Debian's kernel in QEMU and runs cases.py there against devices of the kernel's HID core.

The guest gets a small initramfs (busybox and the kernel modules it needs), mounts this machine's
root read-only over virtio 9p, and runs the cases in a chroot into it, with the real binaries of
the build. It prints to the serial console, which is read here, and powers off. One boot runs one
leg: the Linux programs (--leg linux) or the Windows programs under Wine (--leg windows). For the
Windows leg a Wine prefix is made here before the boot and shared into the guest writable.
Exit status: 0 when every case passed, 77 (skipped) when QEMU, the kernel, busybox or Wine is
missing.
"""
import argparse
import lzma
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77

# The modules the guest loads; each one's dependencies are loaded before it (modules.dep).
MODULES = ["hid", "uhid", "hid-generic", "virtio_pci", "9pnet_virtio", "9p"]
# The dedicated kernel driver of product CA03 refuses devices on other buses than USB, and the
# generic driver stands aside for devices that have one: with this the generic driver binds.
MODULE_PARAMS = {"hid": "ignore_special_drivers=1"}

INIT = """#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
{insmod}
mkdir -p /host
if mount -t 9p -o trans=virtio,version=9p2000.L,ro host /host; then
    mount -t proc proc /host/proc
    mount -t sysfs sysfs /host/sys
    mount -t devtmpfs devtmpfs /host/dev
    # The only writable place. Not /tmp: the build (a CI clone, say) may lie there.
    mount -t tmpfs tmpfs /host/run
{mounts}
    ip link set lo up
    chroot /host {command}
    echo "VMEXIT $?"
else
    echo "VMEXIT mount of the host's root failed"
fi
poweroff -f
"""


def skip(reason):
    print(f"SKIP: {reason}", flush=True)
    sys.exit(SKIP)


def natural(text):
    """Sort key under which the numbers in a version compare as numbers."""
    return [int(p) if p.isdigit() else p for p in re.split(r"(\d+)", text)]


def find_kernel():
    """The newest kernel in /boot that has its modules installed."""
    versions = [name[len("vmlinuz-"):] for name in os.listdir("/boot")
                if name.startswith("vmlinuz-")] if os.path.isdir("/boot") else []
    versions = [v for v in versions if os.path.isfile(f"/lib/modules/{v}/modules.dep")]
    if not versions:
        skip("no kernel image with its modules (/boot/vmlinuz-*, /lib/modules/*): "
             "install the Debian package linux-image-amd64")
    version = max(versions, key=natural)
    if not os.access(f"/boot/vmlinuz-{version}", os.R_OK):
        skip(f"/boot/vmlinuz-{version} is not readable")
    return version


def module_files(version):
    """The module files to load for MODULES, each after its dependencies."""
    base = f"/lib/modules/{version}"
    deps = {}
    with open(f"{base}/modules.dep") as f:
        for line in f:
            path, _, rest = line.partition(":")
            deps[path] = rest.split()

    def name(path):
        return re.sub(r"\.ko(\.\w+)?$", "", os.path.basename(path)).replace("-", "_")

    by_name = {name(p): p for p in deps}
    order = []

    def add(path):
        for dep in deps[path]:
            add(dep)
        if path not in order:
            order.append(path)

    for module in MODULES:
        path = by_name.get(module.replace("-", "_"))
        if path is None:
            skip(f"kernel {version} has no module {module}")
        add(path)
    return [(name(p), f"{base}/{p}") for p in order]


def cpio(entries):
    """An uncompressed cpio archive in the kernel's "newc" format of (name, mode, data)."""
    out = bytearray()
    for ino, (name, mode, data) in enumerate(entries + [("TRAILER!!!", 0, b"")], 1):
        raw = name.encode() + b"\0"
        fields = (ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(raw), 0)
        out += b"070701" + "".join(f"{v:08X}" for v in fields).encode() + raw
        out += b"\0" * (-len(out) % 4) + data
        out += b"\0" * (-len(out) % 4)
    return bytes(out)


def has_interpreter(elf):
    """Whether a 64-bit ELF file names a program interpreter (is linked dynamically)."""
    phoff = int.from_bytes(elf[0x20:0x28], "little")
    size = int.from_bytes(elf[0x36:0x38], "little")
    count = int.from_bytes(elf[0x38:0x3A], "little")
    return any(int.from_bytes(elf[phoff + i * size:phoff + i * size + 4], "little") == 3
               for i in range(count))


def make_initramfs(path, modules, command, mounts=""):
    busybox = shutil.which("busybox") or "/bin/busybox"
    with open(busybox, "rb") as f:
        data = f.read()
    # Nothing but the initramfs is there when it starts: it must not need a loader.
    if has_interpreter(data):
        skip(f"{busybox} is linked dynamically: install the Debian package busybox-static")
    entries = [(d, 0o40755, b"") for d in ("bin", "dev", "proc", "sys", "lib")]
    entries.append(("bin/busybox", 0o100755, data))
    entries += [(f"bin/{tool}", 0o120777, b"busybox")
                for tool in ("sh", "mount", "mkdir", "insmod", "ip", "chroot", "echo", "poweroff")]
    insmod = []
    for name, file in modules:
        with open(file, "rb") as f:
            blob = f.read()
        if file.endswith(".xz"):
            blob = lzma.decompress(blob)
        entries.append((f"lib/{name}.ko", 0o100644, blob))
        insmod.append(f"insmod /lib/{name}.ko {MODULE_PARAMS.get(name, '')}".rstrip())
    init = INIT.format(insmod="\n".join(insmod), command=command, mounts=mounts)
    entries.append(("init", 0o100755, init.encode()))
    with open(path, "wb") as f:
        f.write(cpio(entries))


# Where the guest mounts the Wine prefix of the Windows leg: on the tmpfs, after it.
GUEST_PREFIX = "/run/lumivane-wine"
PREFIX_MOUNT = f"""    mkdir -p /host{GUEST_PREFIX}
    mount -t 9p -o trans=virtio,version=9p2000.L prefix /host{GUEST_PREFIX}"""


def make_prefix(emulator, path):
    """A Wine prefix whose HID bus shows the guest's hidraw devices to Windows programs.

    Wine's bus driver starts its hidraw backend only with its SDL backend off."""
    env = dict(os.environ, WINEPREFIX=path)
    key = r"HKLM\System\CurrentControlSet\Services\winebus"
    start = time.monotonic()
    for cmd in ([emulator, "reg", "add", key, "/v", "Enable SDL", "/t", "REG_DWORD", "/d", "0",
                 "/f"], ["wineserver", "-w"]):
        done = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=300)
        if done.returncode != 0:
            raise SystemExit(f"vm: making the Wine prefix failed: {cmd}: {done.stdout}"
                             f"{done.stderr}")
    print(f"vm: Wine prefix made in {time.monotonic() - start:.1f} s", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--leg", choices=("linux", "windows"), default="linux")
    for name in ("lumivane", "ogsend", "uhid"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--packaging", help="the folder of the udev rule and the systemd units "
                                            "(Linux leg)")
    parser.add_argument("--emulator", help="the script that runs a Windows program under Wine")
    parser.add_argument("--timeout", type=float, default=300, help="seconds for the whole run")
    parser.add_argument("--soak", type=float, default=0,
                        help="instead of the cases, the soak case for this many seconds")
    args = parser.parse_args()
    windows = args.leg == "windows"
    if windows and not args.emulator:
        parser.error("the Windows leg needs --emulator")
    if not windows and not args.packaging:
        parser.error("the Linux leg needs --packaging")

    qemu = shutil.which("qemu-system-x86_64")
    if qemu is None:
        skip("qemu-system-x86_64 not found: install the Debian package qemu-system-x86")
    if windows and (shutil.which("wine") is None or shutil.which("wineserver") is None):
        skip("wine or wineserver not found: install the Debian packages wine and wine64")
    version = find_kernel()
    guest = [sys.executable, "-u",
             os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases.py"),
             "--leg", args.leg]
    for name in ("lumivane", "ogsend", "uhid", "packaging", "emulator"):
        if getattr(args, name):
            guest += [f"--{name}", os.path.abspath(getattr(args, name))]
    if args.soak:
        guest += ["--soak", str(args.soak)]

    with tempfile.TemporaryDirectory(prefix="lumivane-vm-") as work:
        initramfs = os.path.join(work, "initramfs.cpio")
        cmd = [qemu, "-nographic", "-no-reboot", "-nic", "none",
               "-kernel", f"/boot/vmlinuz-{version}", "-initrd", initramfs,
               "-append", "console=ttyS0 quiet panic=-1",
               "-virtfs", "local,path=/,mount_tag=host,security_model=none,readonly=on,"
                          "multidevs=remap"]
        if windows:
            # Wine's first start in the guest wants room and a second processor.
            prefix = os.path.join(work, "prefix")
            make_prefix(os.path.abspath(args.emulator), prefix)
            guest += ["--prefix", GUEST_PREFIX]
            cmd += ["-m", "2048", "-smp", "2",
                    "-virtfs", f"local,path={prefix},mount_tag=prefix,security_model=none"]
        else:
            cmd += ["-m", "512", "-smp", "1"]
        make_initramfs(initramfs, module_files(version), shlex.join(guest),
                       PREFIX_MOUNT if windows else "")
        print(f"vm: {args.leg} leg, kernel {version}, {shutil.which('busybox')}, {qemu}",
              flush=True)
        start = time.monotonic()
        vm = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
        timer = threading.Timer(args.timeout, vm.kill)
        timer.start()
        results, exit_line = {}, None
        for raw in vm.stdout:
            # Without the terminal escapes with which the firmware clears the screen, and the
            # window titles that Wine's console sends to the guest's terminal.
            line = re.sub(r"\x1b(\[[0-9;?]*[A-Za-z]|c|\][^\x07]*\x07)", "",
                          raw.decode(errors="replace"))
            line = line.rstrip("\r\n")
            print(line, flush=True)
            m = re.match(r"VMCASE (\S+) (PASS|FAIL)", line)
            if m:
                results[m.group(1)] = m.group(2)
            if line.startswith("VMEXIT"):
                exit_line = line
        vm.wait()
        timer.cancel()
        took = time.monotonic() - start

    print(f"vm: {args.leg} leg: {len(results)} case(s) in {took:.1f} s, boot included",
          flush=True)
    for name, verdict in results.items():
        print(f"vm: {verdict} {name}")
    if exit_line is None:
        print(f"vm: the guest did not finish within {args.timeout:.0f} s or failed to start")
        return 1
    if exit_line != "VMEXIT 0" or not results or "FAIL" in results.values():
        print(f"vm: failed ({exit_line})")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
