#!/usr/bin/env python3
"""wsmon --csv: the CSV files beside each export, checked against the frames sent and read back
with Python's csv module. Usage: csv_export_test.py WSMON"""
import csv, os, re, subprocess, sys, time, tty
from decimal import Decimal

from checks import check, run_all

WSMON = os.path.abspath(sys.argv[1])
def frame(sensor, extra, temp, hum, check_byte=None):
    body = [sensor, extra, temp & 0xFF, temp >> 8, hum & 0xFF, hum >> 8]
    return bytes([0xCC] + body + [-sum(body) & 0xFF if check_byte is None else check_byte, 0xDD])


def hexes(data):
    return " ".join(f"{b:02X}" for b in data)


def files(cwd):
    """Each export's name with the rows of its two CSV files (header first), CR LF checked."""
    for txt in sorted(n for n in os.listdir(cwd) if n.endswith(".txt")):
        tables = []
        for kind in ("readings", "errors"):
            path = os.path.join(cwd, f"{txt[:-4]}_{kind}.csv")
            data = open(path, "rb").read()
            tables.append(list(csv.reader(open(path, newline="", encoding="utf-8"))))
            check(data.count(b"\n") == data.count(b"\r\n") == len(tables[-1]),
                  f"{path}: a record a line, ended by CR LF")
        yield txt, tables[0], tables[1]


def run(cwd, args, commands, rest, between=None):
    """wsmon --headless --csv in cwd: commands, then (once "> wait 1" is out) between, rest."""
    out = os.path.join(cwd, "out")
    with open(os.path.join(cwd, "wscfg.cfg"), "wb") as f:
        f.write(bytes([1, 0, 1, 4]))  # saving on from the start: nothing to warn of
    p = subprocess.Popen([WSMON, "--headless", "--csv"] + args, cwd=cwd, stdin=subprocess.PIPE,
                         stdout=open(out, "wb"), stderr=subprocess.PIPE)
    p.stdin.write(commands.encode())
    p.stdin.flush()
    deadline = time.monotonic() + 30
    while between and b"> wait 1\n" not in open(out, "rb").read():
        assert time.monotonic() < deadline and p.poll() is None, "wsmon never got going"
        time.sleep(0.01)
    if between:
        between()
    err = p.communicate(rest.encode(), timeout=60)[1]
    check(p.returncode == 0 and err == b"", f"wsmon ended well and quietly {err!r}")
    return open(out, encoding="utf-8").read().splitlines()


def sent_frames_come_back_exactly(cwd):
    master, slave = os.openpty()
    tty.setraw(master)
    # More stray bytes than an error log line dumps; readings at the limits of their values.
    sent = [bytes(range(1, 21)), frame(0, 0x10, 0x0801, 0), frame(1, 0xFF, 0x07FF, 0xFFFE),
            frame(2, 3, 0x0170, 0x01C8, check_byte=0), frame(2, 3, 0xFFFF, 456),
            frame(0, 4, 0x0800, 0xFFFF), frame(40, 5, 0x0100, 0x0100), frame(1, 6, 0x0895, 1000)]
    out = run(cwd, ["--com", "1=" + os.ttyname(slave)], "settings save=1 sensors=3\nopen\nstart\n"
              "wait 1\n", "wait 600\nstop\nexit\n", lambda: os.write(master, b"".join(sent)))
    [(txt, readings, errors)] = files(cwd)
    iso = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}$")
    check(readings[0] == "sensor time number temperature_C humidity_RH interval_s extra_byte frame"
          .split() and errors[0] == ["time", "code", "detail", "bytes"] and
          all(iso.match(r[1]) and re.match(r"\d+\.\d{3}$", r[5]) for r in readings[1:]) and
          all(iso.match(r[0]) for r in errors[1:]), "headers, ISO 8601 times to the millisecond, intervals in seconds")
    check([r[:1] + r[2:5] + r[6:] for r in readings[1:]] == [
        ["0", "0", "-0.0625", "0.0", "16", hexes(sent[1])],
        ["1", "0", "127.9375", "6553.4", "255", hexes(sent[2])],
        ["2", "0", "", "45.6", "3", hexes(sent[4])],
        ["0", "1", "0.0000", "", "4", hexes(sent[5])],
        ["1", "1", "-9.3125", "100.0", "6", hexes(sent[7])]], "readings: exact, empty when missing")
    check([r[1:] for r in errors[1:]] == [
        ["ERR1", "20 stray bytes", hexes(sent[0])], ["ERR2", "bad check byte", hexes(sent[3])],
        ["ERR5", "sensor id 40 is 32 or more", hexes(sent[6])]], "errors with every byte concerned")
    # The export holds what the boxes showed since the start, byte for byte as without --csv.
    shown = {}
    for m in filter(None, (re.match(r'(panel \d+|log) line \d+ "(.*)"$', l) for l in out)):
        shown.setdefault(m[1], []).append(re.sub(r'\\(.)', r"\1", m[2]))
    lines = [l for key in sorted(shown, key=lambda k: (k == "log", k)) for l in shown[key]]
    encoded = subprocess.run([WSMON, "--export-bytes"], input="\n".join(lines + [""]).encode(),
                             capture_output=True, check=True).stdout
    check(open(os.path.join(cwd, txt), "rb").read() == encoded, "the export is unchanged")


def simulated_runs_match_their_exports(cwd):
    sim = "--sensors 3 --interval 150 --temp -30:-2 --missing 0.3 --stray 0.05 --bad-check 0.05"
    out = run(cwd, ["--simulate"] + [w for s in sim.split() for w in ("--sim-arg", s)],
              "settings save=1 sensors=3\nopen\nstart\nwait 1500\nstop\nstart\nwait 1000\n", "stop\n")
    check(out[0].startswith("sim device /dev/pts/") and out[-1] == "sim end",
          "the simulated receiver's device comes first, its end last")
    runs = list(files(cwd))
    check(len(runs) == 2, "two runs, two exports")
    decoded = negative = missing = 0
    for txt, readings, errors in runs:
        lines = open(os.path.join(cwd, txt), encoding="gb18030", newline="").read().split("\r\n")
        # Panel p lists its sensor's readings in order: number, time and extra byte.
        panel, shown = -1, []
        for l in lines:
            panel += l.startswith("sensor")
            if re.match(r"\d{3}-\d\d:", l):
                shown.append([str(panel), str(int(l[:3])), l[4:12], str(int(l[13:15], 16))])
        rows = sorted(([r[0], r[2], r[1][11:19], r[6]] for r in readings[1:]), key=lambda r: r[0])
        check(rows == shown and len(rows) > 5, f"{txt}: the {len(rows)} readings of its panels")
        logged = [l.split("ERR")[1][0] for l in lines if re.match(r"\d{5} -> ", l)]
        check([e[1][3] for e in errors[1:]] == logged, f"{txt}: the {len(logged)} errors of its log")
        for r in readings[1:]:
            f = bytes.fromhex(r[7])
            t = None if f[3:5] == b"\xff\xff" else (-1 if f[4] & 8 else 1) * ((f[4] & 7) * 256 + f[3])
            h = None if f[5:7] == b"\xff\xff" else f[6] * 256 + f[5]
            decoded += [r[0], r[3], r[4], r[6]] == [str(f[1]), "" if t is None else
                                                    f"{Decimal(t) / 16:.4f}", "" if h is None else
                                                    f"{Decimal(h) / 10:.1f}", str(f[2])]
            negative += t is not None and t < 0
            missing += t is None or h is None
    count = sum(len(r) - 1 for _, r, _ in runs)
    check(decoded == count and negative and missing,
          f"{count} rows hold their frames' values ({negative} below zero, {missing} missing)")


def the_rows_go_or_stay_as_the_runs_journal(cwd):
    # The user's choice of no export removes them with the journal; a failed export or a death
    # keeps both, and the recovery gives the rows the recovered export's name.
    def failed_export(p, d):
        fillers = []  # a file system without a free file: no export can be made
        while subprocess.run(["touch", f"{d}/f{len(fillers)}"], capture_output=True).returncode == 0:
            fillers.append(f"{d}/f{len(fillers)}")
        p.communicate(b"stop\nexit\n", timeout=60)
        for f in fillers:
            os.remove(f)
    sent = [frame(0, 1, 0x0171, 0x01C8), frame(2, 2, 0x0828, 0x0320)]
    for what, end, kept in [("Ctrl-C", lambda p, d: p.send_signal(2), False),
                            ("a failed export", failed_export, True), ("kill -9", lambda p, d: p.kill(), True)]:
        d = os.path.join(cwd, what.replace(" ", "_"))
        os.mkdir(d)
        if "export" in what and (os.geteuid() != 0 or subprocess.run(
                ["mount", "-t", "tmpfs", "-o", "size=4m,nr_inodes=64", "tmpfs", d]).returncode != 0):
            print("skipped: " + what + " needs a small file system of its own (root)")
            continue
        try:
            open(os.path.join(d, "wscfg.cfg"), "wb").write(bytes([1, 0, 1, 3]))
            master, slave = os.openpty()
            tty.setraw(master)
            out = os.path.join(cwd, what + ".out")
            p = subprocess.Popen([WSMON, "--headless", "--csv", "--com", "1=" + os.ttyname(slave)], cwd=d,
                                 stdin=subprocess.PIPE, stdout=open(out, "wb"), stderr=subprocess.DEVNULL)
            p.stdin.write(b"open\nstart\nwait 1\n")
            p.stdin.flush()
            rows = lambda: [n for n in os.listdir(d) if n.endswith("_readings.csv")]
            deadline = time.monotonic() + 30
            while b"> wait 1\n" not in open(out, "rb").read() or not rows():
                assert time.monotonic() < deadline and p.poll() is None, "wsmon never got going"
                time.sleep(0.01)
            os.write(master, b"".join(sent))
            path, stem = os.path.join(d, rows()[0]), rows()[0][:-len("_readings.csv")]
            while open(path, "rb").read().count(b"\r\n") < 3:
                assert time.monotonic() < deadline, "the rows never reached their file"
                time.sleep(0.01)
            end(p, d)
            p.communicate(timeout=60)
            names = sorted(n for n in os.listdir(d) if n.startswith("RUVEZ_"))
            check(names == ([stem + s for s in (".journal", "_errors.csv", "_readings.csv")] if kept else []),
                  f"{what}: the run's CSV files {'kept' if kept else 'gone'} with its journal {names}")
            if kept:
                subprocess.run([WSMON, "--recover", d], capture_output=True, timeout=60, check=True)
                named = [n for n in os.listdir(d) if n.endswith("_recovered_readings.csv")]
                check(len(named) == 1 and not [n for n in os.listdir(d) if n.startswith(stem)] and
                      [r[-1] for r in csv.reader(open(os.path.join(d, named[0]), newline=""))][1:] ==
                      [hexes(f) for f in sent], f"{what}: recovered, every row under the export's name")
        finally:
            subprocess.run(["umount", d], capture_output=True)


def saving_off_says_it_writes_nothing(cwd):
    # No settings file yet: the first start has saving off.
    p = subprocess.run([WSMON, "--headless", "--csv", "--simulate"], cwd=cwd, capture_output=True,
                       input=b"open\nstart\nwait 500\nstop\nexit\n", timeout=60)
    said = ("wsmon: --csv writes nothing while saving is off: its files go beside a run's export, "
            "and only a run with saving on (保存数据文件 in the settings) is exported\n")
    check(p.returncode == 0 and p.stderr.decode().count(said) == 2,
          f"said at the start and at the run's start: {p.stderr.decode()!r}")
    check(not [n for n in os.listdir(cwd) if n.endswith((".csv", ".journal"))],
          "and wrote nothing")


run_all(sent_frames_come_back_exactly, simulated_runs_match_their_exports,
        the_rows_go_or_stay_as_the_runs_journal, saving_off_says_it_writes_nothing)
