#!/usr/bin/env python3
"""Runs lumivane-check as a user would: the table of findings, one explanation and two --car
tables (an OutGauge car's and a Forza car's) compared whole, and the exit statuses. For the
Windows build, through the emulator."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Generous: the first start in a fresh Wine prefix creates the prefix first.
RUN_TIMEOUT = 180.0

FINDING = re.compile(r"^(case\d+\.cfg)(?::(\d+))?: warning: (.*) \[([a-z0-9-]+)\]$")
ESCAPE = re.compile(r"\\(r|n|t|\\|x[0-9A-Fa-f]{2})")


class Failure(Exception):
    pass


def unescape(text):
    def one(match):
        code = match.group(1)
        if code[0] == "x":
            return chr(int(code[1:], 16))
        return {"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}[code]

    return ESCAPE.sub(one, text).encode("latin-1")


def parse_expected(text):
    """'2 unknown-key LED1?; 0 nothing-lights' -> [(2, 'unknown-key', 'LED1?'), ...]"""
    if text.strip() == "-":
        return []
    wanted = []
    for item in text.split(";"):
        line, kind, *words = item.split()
        wanted.append((int(line), kind, " ".join(words)))
    return wanted


def read_cases(path):
    """Cases: '== name', the file's lines (with escapes), '->' findings, '-> wine' findings."""
    cases = []
    with open(path, encoding="utf-8") as table:
        for raw in table:
            line = raw.rstrip("\n")
            if line.startswith("=="):
                cases.append({"name": line[2:].strip(), "lines": [], "want": None, "wine": None})
            elif line.startswith("wine->"):
                cases[-1]["wine"] = parse_expected(line[6:])
            elif line.startswith("->"):
                cases[-1]["want"] = parse_expected(line[2:])
            elif cases and cases[-1]["want"] is None:
                cases[-1]["lines"].append(line)
    for case in cases:
        if case["want"] is None:
            raise Failure("case %r has no '->' line" % case["name"])
        case["text"] = unescape("\n".join(case["lines"]) + "\n")
    return cases


def run(command, cwd):
    # Files, not pipes: a wineserver that this start launches inherits them, and would keep a
    # pipe open for seconds after the program has ended.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        status = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err, timeout=RUN_TIMEOUT).returncode
        out.seek(0)
        err.seek(0)
        return (status, out.read().decode("latin-1").replace("\r\n", "\n"),
                err.read().decode("latin-1").replace("\r\n", "\n"))


def check_table(checker, cases, wine, workdir):
    names = []
    for index, case in enumerate(cases):
        name = "case%02d.cfg" % index
        with open(os.path.join(workdir, name), "wb") as cfg:
            cfg.write(case["text"])
        names.append(name)
    # Every file in one start, as starts under the emulator cost the most; a file that cannot
    # be read among them makes the exit status 2, and the others are checked all the same.
    status, out, err = run(checker + names + ["missing.cfg"], workdir)
    if status != 2 or "cannot read missing.cfg" not in err:
        raise Failure("table: exit status %d (want 2), stderr %r\n%s" % (status, err, out))
    found = {name: [] for name in names}
    for line in out.splitlines():
        match = FINDING.match(line)
        if match:
            found[match.group(1)].append((int(match.group(2) or 0), match.group(4),
                                          match.group(3)))
    problems = []
    for name, case in zip(names, cases):
        want = case["wine"] if wine and case["wine"] is not None else case["want"]
        got = found[name]
        ok = sorted((l, k) for l, k, _ in got) == sorted((l, k) for l, k, _ in want)
        for line, kind, words in want:
            ok = ok and any(l == line and k == kind and words in t for l, k, t in got)
        if not ok:
            problems.append("%s (%s):\n  want %s\n  got  %s" % (
                case["name"], name, [(l, k, w) for l, k, w in want],
                ["%d %s: %s" % g for g in got]))
    if problems:
        raise Failure("table: %d of %d cases differ\n%s" % (len(problems), len(cases),
                                                            "\n".join(problems)))
    print("table: %d cases, %d findings as expected" % (len(cases),
                                                         sum(len(f) for f in found.values())))


def check_whole(checker, args, cfg, cfg_name, golden, want_status, workdir):
    shutil.copyfile(cfg, os.path.join(workdir, cfg_name))
    status, out, err = run(checker + args, workdir)
    with open(golden, encoding="utf-8") as expected:
        want = expected.read()
    if out != want or status != want_status:
        raise Failure("%s: exit status %d (want %d), output differs from %s:\n%s%s" % (
            " ".join(["lumivane-check"] + args), status, want_status, golden, out, err))
    print("%s: output as in %s" % (" ".join(["lumivane-check"] + args),
                                   os.path.basename(golden)))


def check_heading(checker, args, cfg, cfg_name, heading, workdir):
    shutil.copyfile(cfg, os.path.join(workdir, cfg_name))
    status, out, err = run(checker + args, workdir)
    if not out.startswith(heading):
        raise Failure("%s: exit status %d, output does not start with %r:\n%s%s" % (
            " ".join(args), status, heading, out, err))
    print("%s: %s" % (" ".join(args), heading))


def check_refused(checker, args, message, workdir):
    status, out, err = run(checker + args, workdir)
    if status != 2 or message not in err:
        raise Failure("%s: exit status %d (want 2), stderr %r (want %r)" % (
            " ".join(args), status, err, message))
    print("%s: refused with status 2" % " ".join(args))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--checker", required=True, help="lumivane-check or lumivane-check.exe")
    parser.add_argument("--emulator", help="script that runs a .exe (Wine)")
    parser.add_argument("--data", required=True, help="folder of the cases and golden files")
    parser.add_argument("--example", required=True, help="the shipped example lumivane.cfg")
    args = parser.parse_args()
    # The checker runs in folders of its own: resolve paths first.
    checker = [os.path.abspath(args.checker)]
    if args.emulator:
        checker.insert(0, os.path.abspath(args.emulator))
    data = os.path.abspath(args.data)
    wine = args.emulator is not None

    cases = read_cases(os.path.join(data, "check_cases.txt"))
    steps = [
        lambda d: check_table(checker, cases, wine, d),
        lambda d: check_whole(checker, [], args.example, "lumivane.cfg",
                              os.path.join(data, "check_example.out"), 0, d),
        lambda d: check_whole(checker, ["--car", "xrt", "car.cfg"],
                              os.path.join(data, "check_car.cfg"), "car.cfg",
                              os.path.join(data, "check_car.out"), 1, d),
        lambda d: check_whole(checker, ["--car", "2352", "car.cfg"],
                              os.path.join(data, "check_car.cfg"), "car.cfg",
                              os.path.join(data, "check_car_forza.out"), 1, d),
        lambda d: check_heading(checker, ["--car", "5882e6", "car.cfg"],
                                os.path.join(data, "check_car.cfg"), "car.cfg",
                                "car.cfg, car 5882e6: [5882E6] (line 18)", d),
        lambda d: check_heading(checker, ["--car", "12345", "car.cfg"],
                                os.path.join(data, "check_car.cfg"), "car.cfg",
                                "car.cfg, car 12345 (Forza): no section of its own", d),
        lambda d: check_refused(checker, ["--car", "XRT2R"], "longer than 4 characters", d),
        lambda d: check_refused(checker, ["--car", "1234567"], "longer than 4 characters", d),
    ]
    failures = 0
    for step in steps:
        with tempfile.TemporaryDirectory(prefix="lumivane-check-") as workdir:
            try:
                step(workdir)
            except (Failure, subprocess.TimeoutExpired) as failure:
                failures += 1
                print("FAIL %s" % failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
