#!/usr/bin/env python3
"""wsmon --csv: the CSV files beside each export, checked against the frames sent and read back
with Python's csv module. Usage: csv_export_test.py WSMON"""
import csv
import os
import re
import subprocess
import sys
import tempfile
import time
import tty
from decimal import Decimal

WSMON = os.path.abspath(sys.argv[1])
failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def frame(sensor, extra, temp, hum, check_byte=None):
    body = [sensor, extra, temp & 0xFF, temp >> 8, hum & 0xFF, hum >> 8]
    return bytes([0xCC] + body + [(-sum(body) & 0xFF) if check_byte is None else check_byte, 0xDD])


def rows(path):
    """The records of a CSV file, after checking that each one ends with CR LF."""
    with open(path, "rb") as f:
        data = f.read()
    check(data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n"),
          f"{os.path.basename(path)}: every record ends with CR LF")
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def run(args, commands, cwd, before_rest=None):
    """wsmon --headless --csv ARGS in cwd; before_rest runs once the first commands are read."""
    with open(os.path.join(cwd, "out"), "wb") as out:
        p = subprocess.Popen([WSMON, "--headless", "--csv"] + args, cwd=cwd, stdin=subprocess.PIPE,
                             stdout=out, stderr=subprocess.PIPE)
        p.stdin.write(commands[0].encode())
        p.stdin.flush()
        if before_rest:
            deadline = time.monotonic() + 30
            while b"> wait 1\n" not in open(os.path.join(cwd, "out"), "rb").read():
                assert time.monotonic() < deadline and p.poll() is None, "wsmon never got going"
                time.sleep(0.01)
            before_rest()
        _, err = p.communicate(commands[1].encode(), timeout=60)
    check(p.returncode == 0 and err == b"", f"wsmon ended well and quietly: {err!r}")
    return open(os.path.join(cwd, "out"), encoding="utf-8").read().splitlines()


def exports(cwd):
    return sorted(n for n in os.listdir(cwd) if n.endswith(".txt"))


def sent_frames_come_back_exactly(cwd):
    master, slave = os.openpty()
    tty.setraw(master)
    sent = [b"\x11\x22", frame(0, 0x10, 0x0801, 0), frame(1, 0xFF, 0x07FF, 0xFFFE),
            frame(2, 3, 0x0170, 0x01C8, check_byte=0), frame(2, 3, 0xFFFF, 456),
            frame(0, 4, 0x0800, 0xFFFF), frame(40, 5, 0x0100, 0x0100), frame(1, 6, 0x0895, 1000)]
    out = run(["--com", "1=" + os.ttyname(slave)],
              ["settings save=1 sensors=3\nopen\nstart\nwait 1\n", "wait 600\nstop\nexit\n"], cwd,
              lambda: os.write(master, b"".join(sent)))
    os.close(slave)
    os.close(master)
    [txt] = exports(cwd)
    stem = txt[:-4]
    readings = rows(os.path.join(cwd, stem + "_readings.csv"))
    errors = rows(os.path.join(cwd, stem + "_errors.csv"))
    check(readings[0] == "sensor time number temperature_C humidity_RH interval_s extra_byte frame"
          .split() and errors[0] == ["time", "code", "detail", "bytes"], "header rows")
    iso = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")
    check(all(iso.match(r[1]) and re.match(r"\d+\.\d{3}$", r[5]) for r in readings[1:]) and
          all(iso.match(r[0]) for r in errors[1:]), "ISO 8601 times, intervals in seconds")
    hexes = [" ".join(f"{b:02X}" for b in f) for f in sent]
    check([[r[0], r[2], r[3], r[4], r[6], r[7]] for r in readings[1:]] == [
        ["0", "0", "-0.0625", "0.0", "16", hexes[1]],
        ["1", "0", "127.9375", "6553.4", "255", hexes[2]],
        ["2", "0", "", "45.6", "3", hexes[4]],
        ["0", "1", "0.0000", "", "4", hexes[5]],
        ["1", "1", "-9.3125", "100.0", "6", hexes[7]]], "readings: exact values, empty when missing")
    check([r[1:] for r in errors[1:]] == [["ERR1", "2 stray bytes", "11 22"],
                                          ["ERR2", "bad check byte", hexes[3]],
                                          ["ERR5", "sensor id 40 is 32 or more", hexes[6]]],
          "errors: code, detail and every byte concerned")
    # The export holds what the boxes showed since the start, byte for byte as without --csv.
    shown = {}
    for line in out[out.index("> start"):]:
        m = re.match(r'(panel \d+|log) line \d+ "(.*)"$', line)
        if m:
            text = re.sub(r'\\(x[0-9A-F]{2}|.)',
                          lambda e: chr(int(e[1][1:], 16)) if len(e[1]) == 3 else e[1], m[2])
            shown.setdefault(m[1], []).append(text)
    lines = [l for key in sorted(shown, key=lambda k: (k == "log", k)) for l in shown[key]]
    encoded = subprocess.run([WSMON, "--export-bytes"], input="\n".join(lines).encode() + b"\n",
                             capture_output=True, check=True).stdout
    check(open(os.path.join(cwd, txt), "rb").read() == encoded, "the export is unchanged")


def simulated_runs_match_their_exports(cwd):
    sim = ["--sensors", "3", "--interval", "150", "--temp", "-30:-2", "--missing", "0.3",
           "--stray", "0.05", "--bad-check", "0.05"]
    args = ["--simulate"] + [a for s in sim for a in ("--sim-arg", s)]
    run(args, ["settings save=1 sensors=3\nopen\nstart\nwait 1500\nstop\nstart\nwait 1000\n",
               "stop\nexit\n"], cwd)
    names = exports(cwd)
    check(len(names) == 2, f"two runs, two exports: {names}")
    values_ok = count = negative = missing = 0
    for txt in names:
        stem = txt[:-4]
        readings = rows(os.path.join(cwd, stem + "_readings.csv"))[1:]
        errors = rows(os.path.join(cwd, stem + "_errors.csv"))[1:]
        lines = open(os.path.join(cwd, txt), encoding="gb18030", newline="").read().split("\r\n")
        shown = [l for l in lines if re.match(r"\d{3}-\d\d:", l)]
        logged = [l for l in lines if re.match(r"\d{5} -> ", l)]
        # Each panel lists its sensor's readings in order: number, time and extra byte.
        panels = [l for l in lines if l.startswith("sensor") or re.match(r"\d{3}-\d\d:", l)]
        expected, panel = [], -1
        for l in panels:
            if l.startswith("sensor"):
                panel += 1
            else:
                expected.append((str(panel), str(int(l[:3])), l[4:12], str(int(l[13:15], 16))))
        got = sorted(((r[0], r[2], r[1][11:], r[6]) for r in readings), key=lambda t: t[0])
        check(got == expected and len(shown) == len(readings) > 5,
              f"{stem}: {len(readings)} readings, those of the export's panels")
        check(len(errors) == len(logged) and all(
            e[1] == "ERR" + l.split("ERR")[1][0] for e, l in zip(errors, logged)),
            f"{stem}: {len(errors)} errors, those of the export's log")
        count += len(readings)
        for r in readings:
            f = bytes.fromhex(r[7])
            t = None if f[3:5] == b"\xff\xff" else (-1 if f[4] & 8 else 1) * ((f[4] & 7) * 256 + f[3])
            h = None if f[5:7] == b"\xff\xff" else f[6] * 256 + f[5]
            values_ok += (r[0] == str(f[1]) and r[6] == str(f[2]) and
                          r[3] == ("" if t is None else f"{Decimal(t) / 16:.4f}") and
                          r[4] == ("" if h is None else f"{Decimal(h) / 10:.1f}"))
            negative += t is not None and t < 0
            missing += t is None or h is None
    check(values_ok == count and negative and missing, f"{count} rows hold the values of their "
          f"frames ({negative} below zero, {missing} with a value missing)")


for test in (sent_frames_come_back_exactly, simulated_runs_match_their_exports):
    with tempfile.TemporaryDirectory() as d:
        test(d)
sys.exit(1 if failures else 0)
