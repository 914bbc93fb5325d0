#!/usr/bin/env python3
"""The reception ledger in every form it leaves wsmon: the stats lines, RUVEZ_..._sensors.csv and
the JSON Lines, read back with Python's csv and json modules, against each other and against what
the simulated receiver reports it sent (faults and readings lost on the air included).
Usage: ledger_outputs_test.py WSMON WSMON_SIM"""
import csv, json, os, signal, subprocess, sys, time
from collections import Counter

from checks import check, run_all

WSMON, SIM = (os.path.abspath(p) for p in sys.argv[1:3])
def words(line):
    """A stats line's KEY=VALUE words as a dict, "-" read as no value."""
    return {k: None if v == "-" else v for k, v in (w.split("=", 1) for w in line.split() if "=" in w)}


def plain(value):
    """A JSON value as the stats lines and the CSV file write it."""
    if value is None:
        return None
    if isinstance(value, bool):
        return "1" if value else "0"
    return str(value)


def same_number(text, value):
    """A decimal text and a JSON number hold the same value (4.5000 and 4.5)."""
    return (text is None and value is None) or (text is not None and value is not None and
                                                float(text) == float(value))


def simulated_faults_and_losses_agree_everywhere(cwd):
    sim_args = ["--baud", "38400", "--sensors", "4", "--seed", "7", "--interval", "20",
                "--jitter", "5", "--frames", "1300", "--stray", "0.05", "--bad-check", "0.05",
                "--high-id", "0.05", "--missing", "0.1", "--lose", "0.1", "--split", "0.1",
                "--split-pause", "20", "--burst", "0.1", "--linger", "1500", "--wait-probe"]
    sim = subprocess.Popen([SIM] + sim_args, stdout=subprocess.PIPE, text=True)
    device = sim.stdout.readline().strip()
    with open(os.path.join(cwd, "wscfg.cfg"), "wb") as f:
        f.write(bytes([1, 0, 1, 4]))  # saving on from the start: --csv has nothing to warn of
    wsmon = subprocess.Popen([WSMON, "--headless", "--com", "1=" + device, "--sequence-byte",
                              "--csv", "--json", "events.jsonl"], cwd=cwd, stdin=subprocess.PIPE,
                             stdout=open(os.path.join(cwd, "out"), "w"), stderr=subprocess.PIPE,
                             text=True)
    # Ten sensors or more: the start does not empty the port, so nothing sent is lost to it. The
    # events go to a file, which never keeps wsmon waiting as a full pipe would.
    wsmon.stdin.write("settings baud=38400 save=1 sensors=10\nopen\nstart\n")
    wsmon.stdin.flush()
    summary = {}
    for line in sim.stdout.read().splitlines():  # the summary comes once the line has closed
        key, _, value = line.rpartition(" ")
        summary[key] = int(value) if value.isdigit() else value
    sim.wait()
    err = wsmon.communicate("stats\nstop\nexit\n", timeout=60)[1]
    asked, out = open(os.path.join(cwd, "out"), encoding="utf-8").read().split("\n> stop\n")
    # The receiver's end of the line closes with its summary; a poll before the stop may find it
    # gone, which standard error tells once. Nothing else may be said there.
    lost = f"wsmon: COM1 ({device}) stopped answering: "
    check(wsmon.returncode == 0 and all(l.startswith(lost) for l in err.splitlines()[:1]) and
          len(err.splitlines()) <= 1, f"wsmon ended well, telling at most the line's end {err!r}")
    check(summary.get("dropped_bytes") == 0, "the line took every byte the receiver sent")

    stats = [l for l in out.splitlines() if l.startswith("stats ")]
    run, sensors = words(stats[0]), {int(l.split()[2]): words(l) for l in stats
                                     if l.startswith("stats sensor ")}
    refused = words(stats[-1])
    check(stats[0].startswith("stats run ") and stats[-1].startswith("stats refused ") and
          len(stats) == 12 and run["active"] == "0", "at the stop: the run, 10 sensors, the refused")
    during = [l for l in asked.split("\n> stats\n")[1].splitlines() if l.startswith("stats ")]
    check(len(during) == 12 and words(during[0])["active"] == "1" and
          [words(l)["readings"] for l in during[1:-1]] ==
          [sensors[s]["readings"] for s in range(10)],
          "the stats command during the run: the same lines, the run still active")
    [name] = [n for n in os.listdir(cwd) if n.endswith("_sensors.csv")]
    data = open(os.path.join(cwd, name), "rb").read()
    rows = list(csv.DictReader(open(os.path.join(cwd, name), newline="", encoding="utf-8")))
    check(data.count(b"\n") == data.count(b"\r\n") == len(rows) + 1 == 12,
          f"{name}: a header, 10 sensors and the refused ids, each ended by CR LF")
    records = [json.loads(l) for l in open(os.path.join(cwd, "events.jsonl"), encoding="utf-8")]
    ledger = records[-1]
    check(ledger["event"] == "ledger" and records[-2]["event"] == "run_stopped" and
          records[0]["event"] == "run_started" and records[0]["sequence_byte"] is True and
          [r["file"] for r in records if r["event"] == "export"] == [name[:-12] + ".txt"],
          "JSON: the run's start, its export, its end and the ledger last")

    # The three forms hold the same figures, key for key.
    by_sensor = {s["sensor"]: s for s in ledger["sensors"]}
    check(sorted(by_sensor) == sorted(sensors) == [int(r["sensor"]) for r in rows[:-1]] ==
          list(range(10)), "the same watched sensors in each")
    for s, row in zip(range(10), rows):
        j = by_sensor[s]
        differ = [k for k in j if k != "sensor" and not (
            plain(j[k]) == sensors[s][k] == (row[k] or None) or
            (isinstance(j[k], float) and same_number(sensors[s][k], j[k]) and
             same_number(row[k] or None, j[k])))]
        check(differ == [], f"sensor {s}: stats, CSV and JSON agree (differ: {differ})")
    check(all(plain(v) == run[k] for k, v in ledger["run"].items() if k != "errors") and
          all(str(v) == run[k] for k, v in ledger["run"]["errors"].items()),
          "the run's figures agree")
    check(all(plain(v) == refused[k] for k, v in ledger["refused"].items()) and
          rows[-1]["sensor"] == "refused" and rows[-1]["readings"] == refused["frames"],
          "the refused ids agree")

    # And with what the receiver sent: readings, damaged frames, missing values, exact losses.
    readings = Counter(r["sensor"] for r in records if r["event"] == "reading")
    for s in range(4):
        j = by_sensor[s]
        sent = {k: summary[f"{k} {s}"] for k in ("sensor", "sensor_bad_check",
                                                 "sensor_missing_temp", "sensor_missing_hum",
                                                 "sensor_sequence_lost", "sensor_lost")}
        check([j["readings"], readings.get(s), j["bad_checks"], j["no_temperature"],
               j["no_humidity"], j["sequence_lost"], j["sequence_duplicates"]] ==
              [sent["sensor"], sent["sensor"], sent["sensor_bad_check"],
               sent["sensor_missing_temp"], sent["sensor_missing_hum"],
               sent["sensor_sequence_lost"], 0] and j["readings"] > 256 and
              0 < sent["sensor_lost"] and
              j["sequence_lost"] <= sent["sensor_lost"] + sent["sensor_bad_check"],
              f"sensor {s}: as sent {sent}, counted {j}")
    check(all(by_sensor[s]["readings"] == 0 and by_sensor[s]["age_ms"] ==
              ledger["run"]["duration_ms"] for s in range(4, 10)),
          "the sensors of the count that sent nothing are as old as the run")
    errors = ledger["run"]["errors"]
    check([errors["ERR2"], errors["ERR5"], ledger["refused"]["frames"],
           ledger["run"]["stray_bytes"], ledger["run"]["readings"]] ==
          [summary["bad_check"], summary["high_id"], summary["high_id"], summary["stray_bytes"],
           sum(summary[f"sensor {s}"] for s in range(4))] and summary["high_id"] > 0,
          f"the run's damaged frames, high ids, stray bytes and readings as sent {ledger['run']}")


def json_on_standard_output_is_all_it_carries(cwd):
    p = subprocess.run([WSMON, "--headless", "--simulate", "--sim-arg=--sensors",
                        "--sim-arg=2", "--sim-arg=--interval", "--sim-arg=100", "--json"],
                       cwd=cwd, input="bogus\nopen\nstart\nwait 600\nstats\nstop\n",
                       capture_output=True, text=True, timeout=60)
    records = [json.loads(l) for l in p.stdout.splitlines()]
    kinds = [r["event"] for r in records]
    check(p.returncode == 0 and kinds[0] == "run_started" and kinds[-2:] == ["run_stopped", "ledger"]
          and kinds.count("ledger") == 2 and "reading" in kinds,
          f"standard output: JSON Lines alone, the stats command's ledger among them {kinds[-3:]}")
    check(p.stderr.startswith('wsmon: error: unknown command "bogus"'),
          f"a bad command is told on standard error {p.stderr!r}")


def the_named_file_is_appended_to_and_a_fifo_never_holds_the_start(cwd):
    for _ in range(2):
        subprocess.run([WSMON, "--headless", "--simulate", "--json", "log.jsonl"], cwd=cwd,
                       input="open\nstart\nstop\n", capture_output=True, text=True, timeout=60)
    kinds = [json.loads(l)["event"] for l in open(os.path.join(cwd, "log.jsonl"))]
    check(kinds.count("run_started") == 2 and kinds.count("ledger") == 2,
          "a second session adds its records to the file")
    os.mkfifo(os.path.join(cwd, "fifo"))
    p = subprocess.run([WSMON, "--headless", "--json", "fifo"], cwd=cwd, input="",
                       capture_output=True, text=True, timeout=30)
    check(p.returncode == 1 and "FIFO that no program reads" in p.stderr, f"a FIFO without a reader is refused {p.stderr!r}")


def stalls_of_the_monitor_against_the_simulators_summary(cwd):
    """wsmon stopped (SIGSTOP) in the middle of a run. For 3 s the system keeps every byte, which
    comes with the late poll (sensors 2 s apart: a poll late by less than a stall, as on a loaded
    machine, makes no gap of theirs); for 30 s of 32 sensors reading 20 times a second it keeps
    the first part, the receiver drops the rest, and every sensor's count turns over meanwhile.
    The fast receiver writes whole frames (unpaced), so that it keeps its sensors' pace on a
    loaded machine, and goes on long enough after the stall for the monitor to catch up."""
    cases = (  # stop (s), the receiver, its frames, readings of each sensor before the stop
        (3, ["--baud", "9600", "--interval", "2000"], 32 * 10, 5),
        (30, ["--baud", "38400", "--interval", "50", "--jitter", "0", "--no-pace"], 640 * 46, 80))
    for stop_s, line, frames, before in cases:
        sim = subprocess.Popen([SIM, "--sensors", "32", "--missing", "0", "--frames", str(frames),
                                "--wait-probe"] + line, stdout=subprocess.PIPE, text=True)
        device = sim.stdout.readline().strip()
        out = os.path.join(cwd, f"out{stop_s}")
        wsmon = subprocess.Popen([WSMON, "--headless", "--com", "1=" + device, "--sequence-byte"],
                                 cwd=cwd, stdin=subprocess.PIPE, stdout=open(out, "w"),
                                 stderr=subprocess.PIPE, text=True)
        wsmon.stdin.write(f"settings baud={line[1]} save=0 sensors=32\nopen\nstart\n")
        wsmon.stdin.flush()
        deadline = time.monotonic() + 30  # the ledger knows each sensor's pace by then
        while sum(l.startswith("panel ") and " line " in l for l in open(out)) < before * 32 and \
                time.monotonic() < deadline:
            time.sleep(0.05)
        if time.monotonic() >= deadline:  # fail rather than wait for a receiver that never began
            sim.kill(), wsmon.kill()
            check(False, f"{stop_s} s: the receiver's readings came before the stall")
            continue
        wsmon.send_signal(signal.SIGSTOP)
        time.sleep(stop_s)  # the stall itself
        wsmon.send_signal(signal.SIGCONT)
        summary = {}
        for line in sim.stdout.read().splitlines():
            key, _, value = line.rpartition(" ")
            summary[key] = int(value) if value.isdigit() else value
        sim.wait()
        wsmon.communicate("stop\nexit\n", timeout=60)
        stats = [l for l in open(out).read().splitlines() if l.startswith("stats ")]
        run, rows = words(stats[0]), [words(l) for l in stats[1:33]]
        total = lambda key: sum(int(r[key]) for r in rows)
        received = sum(summary[f"sensor {i}"] for i in range(32))
        lost = (summary["bytes"] + summary["dropped_bytes"]) // 9 - received
        figures = {k: total(k) for k in ("readings", "missed", "missed_outages", "sequence_lost",
                                         "sequence_lost_outages", "sequence_wrap_gaps")}
        said = f"{stop_s} s: lost {lost}, stalls {run['stalls']}, late {run['stall_ms']} ms, {figures}"
        check(run["stalls"] == "1" and int(run["stall_ms"]) >= stop_s * 1000 - 1100 and
              figures["readings"] == received and figures["sequence_lost"] == 0 and
              figures["missed"] == 0, f"one stall, none of it the sensors' own: {said}")
        if stop_s == 3:
            check(lost == 0 and figures["missed_outages"] == figures["sequence_lost_outages"] == 0,
                  f"what waited out the stall is not missed: {said}")
        else:
            check(lost > 0 and figures["sequence_lost_outages"] == lost and
                  figures["sequence_wrap_gaps"] == 32 and
                  abs(figures["missed_outages"] - lost) <= lost // 10,
                  f"the count's turns completed by the stall's length, the estimate near: {said}")


run_all(simulated_faults_and_losses_agree_everywhere, json_on_standard_output_is_all_it_carries,
        the_named_file_is_appended_to_and_a_fifo_never_holds_the_start,
        stalls_of_the_monitor_against_the_simulators_summary)
