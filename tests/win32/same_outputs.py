#!/usr/bin/env python3
"""The CSV files and the JSON Lines of wsmon.exe against the Linux program's for the same bytes.

The driver's run with the outputs sent its frames in batches, each counted before the next, and
wrote them to BATCHES (a line per batch: the bytes as CC-05-...-DD-, then the good and error
counts once it was counted). This script gives the Linux program (wsmon --headless) the same
batches the same way, on a pseudo-terminal, with the same settings and options, and compares:
  RUVEZ_*_readings.csv, RUVEZ_*_errors.csv, RUVEZ_*_sensors.csv  field by field, and line ends;
  events.jsonl                                                   record by record, key by key.
Fields that tell times are left out of the comparison, and so are those worked out from them:
the times and ticks themselves, intervals and durations, the export's name (it holds the time),
a sensor's age, first and last reading, interval figures, gaps, missed readings, delivery and
silence, and the time of day in each error line; and the header's device, which each system
names its own way (COM1, a pseudo-terminal), and its version (the two builds may come from
different commits). A ledger record of a run that goes on (every
60 s) is left out too: the two runs take different times.

Usage: same_outputs.py WSMON BATCHES WINDOWS_DIR WORK_DIR
"""
import csv, glob, json, os, re, subprocess, sys, time, tty

WSMON, BATCHES, WINDOWS_DIR, WORK = sys.argv[1:5]
TIMES = {"time", "tick_ms", "interval_ms", "interval_s", "duration_ms", "file", "start_time",
         "start_tick_ms", "end_time", "first_seen", "last_seen", "age_ms", "age_s", "silent",
         "interval_min_ms", "interval_median_ms", "interval_p95_ms", "interval_max_ms", "gaps",
         "missed", "missed_open", "delivery_percent", "outage_ms", "interval_period_ms",
         "device", "version"}
CLOCK = re.compile(r"\d\d:\d\d:\d\d")
failed = 0


def check(ok, what, detail=""):
    global failed
    failed += not ok
    print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else f": {detail}"))


def linux_run():
    """The Linux program on a pseudo-terminal, given the batches one by one."""
    os.makedirs(WORK, exist_ok=True)
    for old in glob.glob(os.path.join(WORK, "*")):
        os.remove(old)
    master, slave = os.openpty()
    tty.setraw(master)
    tty.setraw(slave)
    out_path = os.path.join(WORK, "headless.txt")
    p = subprocess.Popen([WSMON, "--headless", "--com", "1=" + os.ttyname(slave), "--csv", "--json",
                          "events.jsonl", "--sequence-byte"], cwd=WORK, stdin=subprocess.PIPE,
                         stdout=open(out_path, "wb"), stderr=subprocess.PIPE)

    def wait_for(line):
        deadline = time.monotonic() + 60
        while line not in open(out_path, encoding="utf-8").read().splitlines():
            if time.monotonic() > deadline or p.poll() is not None:
                raise SystemExit(f"the Linux program never showed {line}")
            time.sleep(0.02)

    p.stdin.write(b"settings port=1 baud=9600 save=1 sensors=4\nopen\nstart\nwait 1\n")
    p.stdin.flush()
    wait_for("> wait 1")
    # A counter that has not moved since the start shows the start's text.
    shown = lambda n: "0000" if n == 0 else " %5d " % n
    for line in open(BATCHES):
        hexes, good, bad = line.split()
        os.write(master, bytes.fromhex(hexes.replace("-", "")))
        wait_for('good "%s"' % shown(int(good)))
        wait_for('bad "%s"' % shown(int(bad)))
    err = p.communicate(b"stop\nexit\n", timeout=60)[1]
    os.close(master)
    os.close(slave)
    check(p.returncode == 0, "the Linux program ends well", err.decode(errors="replace"))


def masked_rows(path):
    """A CSV file's lines, split at their commas (no field holds one), with the time fields
    masked; and whether every line ends in CR LF."""
    data = open(path, "rb").read()
    lines = data.decode("utf-8").split("\r\n")
    ok = lines[-1] == "" and "\n" not in "".join(lines)
    rows = [line.split(",") for line in lines[:-1]]
    times = [i for i, name in enumerate(rows[0]) if name in TIMES] if rows else []
    return [[("*" if i in times and n else v) for i, v in enumerate(r)] for n, r in
            enumerate(rows)], ok


TIMED = re.compile(r'"(%s)":("(?:[^"\\]|\\.)*"|[^,}\]]*)' % "|".join(sorted(TIMES)))


def records(path):
    """The JSON Lines as written, each with the values of its time keys and the times of day in
    its text masked; ledger records of a run that goes on left out."""
    out = []
    if not os.path.exists(path):
        return ["no " + path]
    for line in open(path, "rb").read().decode("utf-8").split("\n")[:-1]:
        record = json.loads(line)
        if record.get("event") == "ledger" and record.get("run", {}).get("active") in (True, 1, "1"):
            continue
        out.append(CLOCK.sub("*", TIMED.sub(lambda m: '"%s":*' % m.group(1), line)))
    return out


def differences(windows, linux):
    """The lines that differ, each program's under the other's."""
    pad = max(len(windows), len(linux))
    return "".join(f"\n  windows: {a}\n  linux:   {b}" for a, b in
                   zip(windows + ["(none)"] * (pad - len(windows)),
                       linux + ["(none)"] * (pad - len(linux))) if a != b)


linux_run()
check(not glob.glob(os.path.join(WINDOWS_DIR, ".wsmon-run-*")),
      "wsmon.exe left no stand-in of its CSV files")
for kind in ("readings", "errors", "sensors"):
    [win] = glob.glob(os.path.join(WINDOWS_DIR, f"RUVEZ_*_{kind}.csv")) or [None]
    [lin] = glob.glob(os.path.join(WORK, f"RUVEZ_*_{kind}.csv")) or [None]
    if not (win and lin):
        check(False, f"both programs wrote the {kind} file", f"{win} {lin}")
        continue
    (w, w_crlf), (l, l_crlf) = masked_rows(win), masked_rows(lin)
    check(w == l and w_crlf and l_crlf and len(w) > 1,
          f"RUVEZ_*_{kind}.csv: {len(w) - 1} rows, the same as the Linux program's",
          differences([",".join(r) for r in w], [",".join(r) for r in l]))
w, l = records(os.path.join(WINDOWS_DIR, "events.jsonl")), records(os.path.join(WORK, "events.jsonl"))
check(w == l and len(w) > 5, f"events.jsonl: {len(w)} records, the same as the Linux program's",
      differences(w, l))
sys.exit(1 if failed else 0)
