#!/usr/bin/env python3
"""How fast a recording replays: a day of 32 readings a second (32 sensors, one reading each a
second), written straight into a recording by wsmon-sim, replayed by wsmon --headless --replay
FILE --speed max with --json FILE --csv (its event lines to /dev/null), against the time a day
allows and the core's own rates (wsmon_bench): frame extraction alone, and the whole poll path
with the ledger. Run by make bench.

usage: replay_speed.py WSMON WSMON_SIM WSMON_BENCH [--hours H]
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

SENSORS = 32
TARGET_SECONDS = 10  # for a day's recording


def core_frames_per_second(bench):
    """Frames a second of the core by the poll benchmarks: its extraction alone (a clean stream),
    and its whole poll path with the ledger listening (32 sensors)."""
    out = subprocess.run([bench, "--benchmark_filter=^(BM_ExtractCleanStream|"
                          "BM_PollPathPerFrameWithLedger/32)$", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True)
    results = {r["name"]: r for r in json.loads(out.stdout)["benchmarks"]}
    return (results["BM_ExtractCleanStream"]["bytes_per_second"] / 9,
            results["BM_PollPathPerFrameWithLedger/32"]["items_per_second"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("wsmon")
    parser.add_argument("sim")
    parser.add_argument("bench")
    parser.add_argument("--hours", type=float, default=24)
    a = parser.parse_args()
    a.wsmon, a.sim, a.bench = (os.path.abspath(p) for p in (a.wsmon, a.sim, a.bench))
    with tempfile.TemporaryDirectory(prefix="wsmon-replay-speed-") as folder:
        recording = os.path.join(folder, "day.rec")
        start = time.monotonic()
        written = subprocess.run(
            [a.sim, "--sensors", str(SENSORS), "--interval", "1000",
             "--seconds", str(int(a.hours * 3600)), "--write-recording", recording],
            check=True, capture_output=True, text=True).stdout
        write_seconds = time.monotonic() - start
        frames = int(next(l for l in written.splitlines() if l.startswith("frames ")).split()[1])
        size = os.path.getsize(recording)

        # COM1, 9600 baud, saving on (the export and the CSV files at the end), 32 sensors.
        with open(os.path.join(folder, "wscfg.cfg"), "wb") as f:
            f.write(bytes([1, 0, 1, SENSORS]))
        with open(os.devnull, "w") as null:
            start = time.monotonic()
            monitor = subprocess.Popen(
                [a.wsmon, "--headless", "--replay", recording, "--speed", "max", "--json",
                 os.path.join(folder, "events.jsonl"), "--csv"],
                stdin=subprocess.PIPE, stdout=null, cwd=folder)
            monitor.stdin.write(b"exit\n")
            monitor.stdin.close()
            _, status, usage = os.wait4(monitor.pid, 0)
            seconds = time.monotonic() - start
        if status != 0:
            sys.exit(f"wsmon ended with status {status}")
        readings = 0
        with open(os.path.join(folder, "events.jsonl")) as f:
            for line in f:
                readings += line.startswith('{"event":"reading"')
        extraction, poll_path = core_frames_per_second(a.bench)

    rate = frames / seconds
    print(f"Replay of {a.hours:g} h at {SENSORS} readings/s: {frames:,} frames in a recording of "
          f"{size / 1e6:.1f} MB (written by wsmon-sim in {write_seconds:.1f} s)\n")
    print("| figure | value |")
    print("|---|---|")
    print(f"| replay time, --speed max --json FILE --csv | {seconds:.2f} s "
          f"(CPU {usage.ru_utime + usage.ru_stime:.2f} s; target under "
          f"{TARGET_SECONDS * a.hours / 24:g} s) |")
    print(f"| frames per second | {rate:,.0f} |")
    print(f"| readings in the JSON Lines | {readings:,} |")
    print(f"| the core's extraction alone (clean stream) | {extraction:,.0f} frames/s |")
    print(f"| replay / extraction | {rate / extraction:.4f} |")
    print(f"| the core's poll path with the ledger, 32 sensors | {poll_path:,.0f} frames/s |")
    print(f"| replay / poll path | {rate / poll_path:.3f} |")
    if seconds > TARGET_SECONDS * a.hours / 24:
        print("\nThe replay took longer than its target.")


if __name__ == "__main__":
    main()
