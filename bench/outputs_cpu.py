#!/usr/bin/env python3
"""What the outputs cost: the CPU time of the whole wsmon process per 1,000 frames when the
simulated receiver sends at the line maximum of 38400 baud, with no output, with --json FILE, and
with --json FILE --http --mqtt (a mosquitto broker of its own on 127.0.0.1 and a reader of
/events that reads everything). Run by make bench.

usage: outputs_cpu.py WSMON WSMON_SIM [--seconds S] [--runs N] [--only none|json|network]
"""
import argparse
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

BAUD = 38400
SENSORS = 4
LINE_MAXIMUM = BAUD / 10 / 9  # frames per second of a line that is never idle


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


class Broker:
    def __init__(self, folder):
        self.port = free_port()
        conf = os.path.join(folder, "broker.conf")
        with open(conf, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\n"
                    "persistence false\nlog_dest none\n")
        self.process = subprocess.Popen(["mosquitto", "-c", conf])
        if not wait_for_port(self.port):
            raise RuntimeError("mosquitto does not answer")

    def stop(self):
        self.process.terminate()
        self.process.wait()


def read_events(port, stop):
    """A reader of /events that takes everything, until the server ends the stream."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            s.sendall(b"GET /events HTTP/1.1\r\nHost: bench\r\n\r\n")
            while not stop.is_set() and s.recv(65536):
                pass
    except OSError:
        pass


def http_port(stderr_path, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        with open(stderr_path) as f:
            for line in f:
                if "HTTP on http://127.0.0.1:" in line:
                    return int(line.split("127.0.0.1:")[1].split("/")[0])
        time.sleep(0.05)
    return None


def measure(wsmon, sim, seconds, extra, broker, folder):
    frames = int(LINE_MAXIMUM * seconds)
    simulator = subprocess.Popen(
        [sim, "--baud", str(BAUD), "--sensors", str(SENSORS), "--interval", "1", "--jitter", "0",
         "--frames", str(frames), "--wait-probe", "--linger", "1500"],
        stdout=subprocess.PIPE, text=True)
    device = simulator.stdout.readline().strip()
    json_file = os.path.join(folder, "events.jsonl")
    if os.path.exists(json_file):
        os.remove(json_file)
    args = [wsmon, "--headless", "--com", f"1={device}"]
    if "json" in extra:
        args += ["--json", json_file]
    if "network" in extra:
        args += ["--http", "127.0.0.1:0", "--mqtt", f"127.0.0.1:{broker.port}"]
    stderr_path = os.path.join(folder, "stderr.txt")
    with open(stderr_path, "w") as err:
        monitor = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=err, cwd=folder, text=True)
    stop = threading.Event()
    reader = None
    readings = []

    def take_output():  # all along, so that the monitor never waits for its output
        for line in monitor.stdout:
            if line.startswith("stats run "):  # the ledger's count at the run's end
                readings.append(int(line.split(" readings=")[1].split()[0]))

    taker = threading.Thread(target=take_output, daemon=True)
    taker.start()
    try:
        if "network" in extra:
            port = http_port(stderr_path)
            if port is not None:
                reader = threading.Thread(target=read_events, args=(port, stop), daemon=True)
                reader.start()
        monitor.stdin.write(f"settings port=1 baud={BAUD} save=0 sensors={SENSORS}\nopen\nstart\n")
        monitor.stdin.flush()
        # The run ends once the simulator has sent everything and closed its line.
        simulator.communicate(timeout=seconds * 3 + 30)
        monitor.stdin.write("stop\nexit\n")
        monitor.stdin.close()
        _, status, usage = os.wait4(monitor.pid, 0)
    finally:
        stop.set()
        for process in (simulator, monitor):
            if process.poll() is None:
                process.kill()
                process.wait()
    taker.join(5)
    if reader is not None:
        reader.join(5)
    if status != 0:
        raise RuntimeError(f"wsmon ended with status {status}")
    cpu = usage.ru_utime + usage.ru_stime
    return frames, readings[-1] if readings else 0, cpu


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("wsmon")
    parser.add_argument("sim")
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", choices=("none", "json", "network"),
                        help="measure this row of the table alone")
    a = parser.parse_args()
    a.wsmon, a.sim = os.path.abspath(a.wsmon), os.path.abspath(a.sim)
    print(f"CPU of the whole wsmon process at the line maximum of {BAUD} baud "
          f"({LINE_MAXIMUM:.1f} frames/s, {SENSORS} sensors, {a.seconds:.0f} s a run; "
          f"the median of {a.runs} runs)\n")
    print("| outputs | frames sent | shown | CPU ms per 1,000 frames |")
    print("|---|---|---|---|")
    with tempfile.TemporaryDirectory(prefix="wsmon-outputs-cpu-") as folder:
        broker = Broker(folder)
        try:
            rows = {"none": ("none", ()), "json": ("--json FILE", ("json",)),
                    "network": ("--json FILE --http --mqtt", ("json", "network"))}
            for key, (name, extra) in rows.items():
                if a.only is not None and key != a.only:
                    continue
                results = [measure(a.wsmon, a.sim, a.seconds, extra, broker, folder)
                           for _ in range(a.runs)]
                per_1000 = sorted(1e6 * cpu / max(shown, 1) for _, shown, cpu in results)
                frames, shown, _ = results[0]
                print(f"| {name} | {frames} | {shown} | {per_1000[len(per_1000) // 2]:.1f} |")
                sys.stdout.flush()
        finally:
            broker.stop()


if __name__ == "__main__":
    main()
