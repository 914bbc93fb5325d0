#!/usr/bin/env python3
"""wsmon --http and --mqtt against real parts: the simulated receiver streams, a client reads
/events, a client that never reads stays attached, Prometheus's promtool checks /metrics, headless
Chromium loads the live page, and a mosquitto broker of the test's own (on a free port of
127.0.0.1) carries every topic and the will. Usage: network_test.py WSMON"""
import base64, json, os, re, shutil, socket, subprocess, sys, tempfile, threading, time
import urllib.error, urllib.request
from collections import Counter

from checks import check, run_all

WSMON = os.path.abspath(sys.argv[1])
TOOLS = {"mosquitto": "mosquitto", "mosquitto_sub": "mosquitto-clients", "promtool": "prometheus",
         "chromium": "chromium"}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    check(False, "in time: " + what)
    return False


# Faults of every kind the ledger counts. The frames wait for the probe of the open, which the
# start follows at once; a long linger keeps the line open until the test stops the run.
SIM = ("--sensors 3 --interval 60 --jitter 10 --frames 300 --seed 5 --bad-check 0.05 "
       "--high-id 0.03 --stray 0.03 --missing 0.1 --linger 60000 --wait-probe")


class Wsmon:
    """wsmon --headless --simulate in cwd, its commands on a pipe, stderr watched for lines."""

    def __init__(self, cwd, args, sim=SIM):
        sim_args = [w for word in sim.split() for w in ("--sim-arg", word)]
        self.out = os.path.join(cwd, "out.txt")
        self.p = subprocess.Popen([WSMON, "--headless", "--simulate"] + sim_args + args, cwd=cwd,
                                  stdin=subprocess.PIPE, stdout=open(self.out, "wb"),
                                  stderr=subprocess.PIPE, text=True)
        self.errors = []
        threading.Thread(target=lambda: self.errors.extend(self.p.stderr), daemon=True).start()

    def say(self, commands):
        self.p.stdin.write(commands)
        self.p.stdin.flush()

    def http_port(self):
        found = []
        wait_until(lambda: found.extend(re.findall(r"HTTP on http://[^:]+:(\d+)/", "".join(
            self.errors))) or found, 10, "wsmon names its HTTP address")
        return int(found[0]) if found else 0

    def finish(self, commands="exit\n"):
        self.say(commands)
        self.p.stdin.close()
        self.p.wait(timeout=60)
        return open(self.out, encoding="utf-8").read().splitlines()


def summary(lines):
    """The simulated receiver's summary in the headless output: KEY -> VALUE."""
    return {m[1]: int(m[2]) for m in (re.match(r"sim (.+) (\d+)$", l) for l in lines) if m}


def get(port, path, headers=None):
    request = urllib.request.Request(f"http://127.0.0.1:{port}{path}", headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=10) as r:
            return r.status, dict(r.headers), r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, dict(e.headers), e.read().decode()


def metrics(text):
    """name{labels} -> value of each sample."""
    return {m[1]: float(m[2]) for m in re.finditer(r"^(\w+(?:\{[^}]*\})?) (\S+)$", text, re.M)}


def read_events(port, records, until):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/events", timeout=40) as r:
        check(r.headers["Content-Type"] == "application/x-ndjson" and
              r.headers["Transfer-Encoding"] == "chunked", "/events is chunked JSON Lines")
        for line in r:
            records.append(json.loads(line))
            if until(records):
                return


def listening_address(port):
    """The local address of the listening TCP socket on port, from /proc/net/tcp{,6}."""
    for name in ("/proc/net/tcp", "/proc/net/tcp6"):
        for row in open(name).read().splitlines()[1:]:
            local, state = row.split()[1], row.split()[3]
            address, at = local.split(":")
            if state == "0A" and int(at, 16) == port:
                return address
    return None


def per_sensor(records):
    return dict(Counter(r["sensor"] for r in records if r["event"] == "reading"))


def expected_counts(s):
    return {int(k.split()[1]): v for k, v in s.items() if k.startswith("sensor ")}


def http_outputs_agree_with_the_summary(cwd):
    w = Wsmon(cwd, ["--http", "0"])
    w.say("settings save=0 sensors=3\n")
    port = w.http_port()
    check(listening_address(port) == "0100007F", "a port alone listens on 127.0.0.1 only")
    records = []
    ended = lambda rs: any(r["event"] == "run_stopped" for r in rs) and rs[-1]["event"] == "ledger"
    reader = threading.Thread(target=read_events, args=(port, records, ended), daemon=True)
    reader.start()
    # A reader that never reads, and a connection that never asks anything.
    stuck = socket.create_connection(("127.0.0.1", port))
    stuck.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    stuck.sendall(b"GET /events HTTP/1.1\r\nHost: wsmon\r\n\r\n")
    idle = socket.create_connection(("127.0.0.1", port))
    wait_until(lambda: metrics(get(port, "/metrics")[2]).get("wsmon_http_events_clients") == 2, 10,
               "both /events readers are in")
    w.say("open\nstart\nwait 9000\n")
    wait_until(lambda: '> wait 9000' in open(w.out).read(), 10, "the run starts")
    time.sleep(9.5)
    status, headers, during = get(port, "/metrics")
    check(status == 200 and headers["Content-Type"].startswith("text/plain; version=0.0.4"),
          "/metrics is Prometheus text 0.0.4")
    lint = subprocess.run(["promtool", "check", "metrics"], input=during, capture_output=True,
                          text=True)
    check(lint.returncode == 0, f"promtool check metrics finds nothing {lint.stdout}{lint.stderr}")
    w.say("stop\nwait 500\n")
    wait_until(lambda: "> wait 500" in open(w.out).read(), 10, "the run stops")
    after = metrics(get(port, "/metrics")[2])
    state = json.loads(get(port, "/state")[2])
    check(state["counters"]["good"] == after["wsmon_frames_total"] and
          not state["ledger"]["run"]["active"], "/state holds the same figures")
    page = chromium_dom(port, cwd)
    reader.join(timeout=20)
    stuck.close()
    idle.close()
    lines = w.finish()
    s = summary(lines)
    want = expected_counts(s)
    check(s and len(want) == 3 and s["dropped_bytes"] == 0, f"the simulator's summary {s}")
    got = {sensor: int(after.get(f'wsmon_readings_total{{sensor="{sensor}"}}', -1)) for sensor in want}
    check(got == want, f"wsmon_readings_total per sensor {got} equals the summary {want}")
    pairs = [("wsmon_frame_errors_total{code=\"ERR2\"}", "bad_check"),
             ("wsmon_frame_errors_total{code=\"ERR5\"}", "high_id"),
             ("wsmon_refused_frames_total", "high_id"), ("wsmon_stray_bytes_total", "stray_bytes")]
    check(all(after.get(m) == s[k] for m, k in pairs) and
          after["wsmon_frames_total"] == sum(want.values()) + s["high_id"] and
          sum(after[f'wsmon_readings_without_value_total{{sensor="{i}",quantity="temperature"}}']
              for i in want) == s["missing_temp"] and after["wsmon_run_active"] == 0,
          "error codes, stray bytes, good frames and missing values as sent")
    check(per_sensor(records) == want and ended(records),
          f"/events: readings per sensor {per_sensor(records)}, then run_stopped and the ledger")
    ledger = records[-1] if records else {"sensors": []}
    check({x["sensor"]: x["readings"] for x in ledger["sensors"]} == want and
          ledger["run"]["errors"]["ERR2"] == s["bad_check"], "the last ledger record agrees")
    errors = [r for r in records if r["event"] == "error"]
    check(sum(r["code"] == "ERR2" for r in errors) == s["bad_check"], "/events: every ERR2")
    counters, table = page
    check(counters.get("good") == str(int(after["wsmon_frames_total"])) and
          counters.get("errors") == str(int(after["wsmon_error_events_total"])) and
          counters.get("readings") == str(sum(want.values())),
          f"the live page in Chromium shows the counters {counters}")
    shown = {int(row[0]): int(row[1]) for row in table if row and row[0].isdigit()}
    check(table and table[0][:2] == ["id", "readings"] and
          all(shown.get(sensor) == count for sensor, count in want.items()) and
          table[-1][0] == "32+", f"the live page's ledger table has a row per sensor {table}")


def chromium_dom(port, cwd):
    """The live page as headless Chromium builds it: the text of each counter by its id, and
    the ledger's table (its header row, then a row per sensor), the texts of each row's cells."""
    profile = tempfile.mkdtemp(dir=cwd)
    flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile, "--virtual-time-budget=4000"]
    url = f"http://127.0.0.1:{port}/"
    dom = subprocess.run(["chromium"] + flags + ["--dump-dom", url], capture_output=True,
                         text=True, timeout=60).stdout
    table = [re.findall(r'<t[hd][^>]*>([^<]*)</t[hd]>', row)
             for row in re.findall(r'<tr[^>]*>(.*?)</tr>', dom, re.S)]
    return dict(re.findall(r'<b id="(\w+)">([^<]*)</b>', dom)), table


def token_guards_every_path(cwd):
    token = os.path.join(cwd, "token")
    with open(token, "w") as f:
        f.write("s3cret-Token\n")
    os.chmod(token, 0o644)
    refused = subprocess.run([WSMON, "--headless", "--http", "0", "--http-token", token],
                             input="", capture_output=True, text=True, timeout=20)
    check(refused.returncode == 2 and "chmod 600" in refused.stderr,
          "a token file that others may read is refused")
    os.chmod(token, 0o600)
    w = Wsmon(cwd, ["--http", "127.0.0.1:0", "--http-token", token])
    port = w.http_port()
    basic = base64.b64encode(b"anyone:s3cret-Token").decode()
    cases = [({}, 401), ({"Authorization": "Bearer s3cret-Toke"}, 401),
             ({"Authorization": "Bearer s3cret-TokenX"}, 401),
             ({"Authorization": "Basic " + base64.b64encode(b"x:wrong").decode()}, 401),
             ({"Authorization": "Bearer s3cret-Token"}, 200), ({"Authorization": "Basic " + basic}, 200)]
    for path in ("/metrics", "/", "/state", "/history"):
        got = [get(port, path, headers)[0] for headers, _ in cases]
        check(got == [code for _, code in cases], f"{path}: {got}")
    status, headers, _ = get(port, "/metrics")
    check("Bearer" in headers.get("WWW-Authenticate", ""), "a 401 names the schemes it takes")
    w.finish()


def binding_is_loopback_unless_named(cwd):
    w = Wsmon(cwd, ["--http", "0.0.0.0:0"])
    port = w.http_port()
    check(listening_address(port) == "00000000", "0.0.0.0 named: every address")
    second = subprocess.run([WSMON, "--headless", "--http", f"127.0.0.1:{port}"], input="",
                            capture_output=True, text=True, timeout=20)
    check(second.returncode == 1 and "Address already in use" in second.stderr,
          f"a port in use is refused: {second.stderr.strip()}")
    w.finish()


class Broker:
    """mosquitto on a free port of 127.0.0.1, and a mosquitto_sub of every topic."""

    def __init__(self, cwd, port=None):
        self.port = port or free_port()
        conf = os.path.join(cwd, f"broker{self.port}.conf")
        with open(conf, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
        self.broker = subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        wait_until(self.answers, 10, "the broker listens")
        self.log = os.path.join(cwd, f"topics{self.port}.txt")
        self.sub = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port),
                                     "-v", "-t", "#"], stdout=open(self.log, "w"))
        wait_until(self.subscribed, 10, "mosquitto_sub takes every topic")

    def answers(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def subscribed(self):
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "probe",
                        "-m", "in"], timeout=10)
        return ("probe", "in") in self.messages()

    def messages(self):
        return [tuple(l.split(" ", 1)) for l in open(self.log).read().splitlines() if " " in l]

    def said(self, topic):
        return [p for t, p in self.messages() if t == topic]

    def stop(self):
        for p in (self.sub, self.broker):
            p.terminate()
            p.wait(timeout=10)


def mqtt_carries_every_topic_and_the_will(cwd):
    b = Broker(cwd)
    w = Wsmon(cwd, ["--mqtt", f"127.0.0.1:{b.port}", "--mqtt-topic", "lab/bench1",
                    "--mqtt-discovery"])
    w.say("settings save=0 sensors=3\nopen\nstart\nwait 9000\nstop\n")
    s = summary(w.finish())
    wait_until(lambda: "offline" in b.said("lab/bench1/availability"), 10,
               "the broker passes on the last message")
    m = b.messages()
    want = expected_counts(s)
    topics = {t for t, _ in m}
    events = [json.loads(p) for p in b.said("lab/bench1/events")]
    temps = [t for t, _ in m if re.match(r"lab/bench1/sensors/\d+/temperature_C$", t)]
    hums = [t for t, _ in m if re.match(r"lab/bench1/sensors/\d+/humidity_RH$", t)]
    check(per_sensor(events) == want, f"lab/bench1/events: readings per sensor {per_sensor(events)}")
    check(len(temps) == sum(want.values()) - s["missing_temp"] and
          len(hums) == sum(want.values()) - s["missing_hum"],
          "a temperature and a humidity topic per reading that has the value")
    values = [json.loads(p) for t, p in m if t.endswith("/temperature_C")]
    readings = [e["temperature_C"] for e in events if e["event"] == "reading" and
                e["temperature_C"] is not None]
    check(values == readings, "the topics carry the records' exact values")
    stats = [json.loads(p) for p in b.said("lab/bench1/stats")]
    check(stats and {x["sensor"]: x["readings"] for x in stats[-1]["sensors"]} == want,
          "lab/bench1/stats: the ledger at the run's end")
    availability = b.said("lab/bench1/availability")
    check(availability == ["online", "offline"], f"availability online, then offline {availability}")
    configs = {t: json.loads(p) for t, p in m if t.startswith("homeassistant/sensor/")}
    check(len(configs) == 6 and all(c["state_topic"] in topics and c.get("expire_after", 0) >= 1
                                    for c in configs.values()),
          "a discovery configuration per sensor and quantity, with expire_after")
    # An unclean end: the broker says offline in wsmon's stead.
    w = Wsmon(cwd, ["--mqtt", f"127.0.0.1:{b.port}", "--mqtt-topic", "lab/bench1"])
    w.say("settings save=0 sensors=3\nopen\nstart\nwait 60000\n")
    wait_until(lambda: b.said("lab/bench1/availability") == ["online", "offline", "online"], 10,
               "the second wsmon is online")
    w.p.kill()
    w.p.wait()
    wait_until(lambda: b.said("lab/bench1/availability")[-1:] == ["offline"], 10,
               "the will says offline after kill -9")
    b.stop()


def missing_broker_never_blocks_the_run(cwd):
    port = free_port()
    w = Wsmon(cwd, ["--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", "lab/late", "--http", "0"])
    http = w.http_port()
    w.say("settings save=0 sensors=3\nopen\nstart\nwait 9000\nstop\nwait 10000\n")
    time.sleep(9.8)
    b = Broker(cwd, port)
    wait_until(lambda: "online" in b.said("lab/late/availability"), 40,
               "wsmon connects once the broker is there")
    after = metrics(get(http, "/metrics")[2])
    s = summary(w.finish())
    said = [l for l in w.errors if "not reachable" in l]
    check(len(said) == 1, f"the missing broker is said once: {said}")
    want = expected_counts(s)
    got = {i: int(after[f'wsmon_readings_total{{sensor="{i}"}}']) for i in want}
    check(got == want and after["wsmon_mqtt_messages_dropped_total"] > 0,
          f"the run's counts {got} equal the summary {want}; what could not go was counted")
    b.stop()


missing = [f"{tool} (Debian package {package})" for tool, package in TOOLS.items()
           if shutil.which(tool) is None]
if missing:
    print("FAILED: missing " + ", ".join(missing) + ": scripts/install-deps.sh native installs them")
    sys.exit(1)
run_all(http_outputs_agree_with_the_summary, token_guards_every_path, binding_is_loopback_unless_named,
        mqtt_carries_every_topic_and_the_will, missing_broker_never_blocks_the_run)
