#!/usr/bin/env python3
"""wsmon --http and --mqtt against real parts: the simulated receiver streams, a client reads
/events, a client that never reads stays attached, Prometheus's promtool checks /metrics, headless
Chromium loads the live page, and a mosquitto broker of the test's own (on a free port of
127.0.0.1) carries every topic and the will. Usage: network_test.py WSMON"""
import base64, json, os, re, shutil, socket, subprocess, sys, tempfile, threading, time, tty
import urllib.error, urllib.request
from collections import Counter

from checks import check, run_all

WSMON = os.path.abspath(sys.argv[1])
SIM_PROGRAM = os.path.join(os.path.dirname(WSMON), "wsmon-sim")
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
        # sim None: no simulated receiver; args name the port.
        sim_args = ["--simulate"] + [w for word in sim.split() for w in ("--sim-arg", word)] if sim \
            else []
        self.out = os.path.join(cwd, "out.txt")
        self.p = subprocess.Popen([WSMON, "--headless"] + sim_args + args, cwd=cwd,
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
    wait_until(lambda: metrics(get(port, "/metrics")[2]).get("wsmon_frames_total", 0) >= 20, 20,
               "readings arrive during the run")
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


class Chromium:
    """Headless Chromium with a window of width x height, driven through its DevTools pipe (the
    protocol's JSON messages, each ended by a NUL, on its descriptors 3 and 4)."""

    def __init__(self, cwd, url, width=1280, height=900):
        to_r, self.to_w = os.pipe()
        self.from_r, from_w = os.pipe()
        def descriptors():
            # Through other numbers first: the pipe's own may be 3 or 4 already, and a dup2 onto
            # itself would leave it to be closed at exec.
            ends = os.dup(to_r), os.dup(from_w)
            os.dup2(ends[0], 3)
            os.dup2(ends[1], 4)
        flags = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + tempfile.mkdtemp(dir=cwd), f"--window-size={width},{height}",
                 "--remote-debugging-pipe", "about:blank"]
        self.p = subprocess.Popen(["chromium"] + flags, preexec_fn=descriptors, close_fds=False,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_r)
        os.close(from_w)
        self.pending, self.last, self.session = b"", 0, None
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                  deviceScaleFactor=1, mobile=False)
        self.call("Page.navigate", url=url)

    def call(self, method, **params):
        self.last += 1
        message = {"id": self.last, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        os.write(self.to_w, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.pending:
                chunk = os.read(self.from_r, 1 << 16)
                if not chunk:
                    raise RuntimeError("chromium ended")
                self.pending += chunk
            raw, self.pending = self.pending.split(b"\0", 1)
            reply = json.loads(raw)
            if reply.get("id") == self.last:
                return reply.get("result", {})

    def value(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        return result.get("result", {}).get("value")

    def close(self):
        self.p.kill()
        self.p.wait()
        os.close(self.to_w)
        os.close(self.from_r)


# What the page shows, read in one go: the ledger's headers, whether its last column can be
# scrolled into a 1280 px window without the page itself growing wider, the error log's lines,
# and each card's reading counts (header and footer).
PAGE = """(() => {
  const box = document.getElementById("ledgerbox");
  box.scrollLeft = box.scrollWidth;
  const heads = [...document.querySelectorAll("#ledger thead th")];
  const last = heads.length ? heads[heads.length - 1].getBoundingClientRect().right : 1e9;
  return {heads: heads.map((th) => th.textContent), rows: document.querySelectorAll(
            "#ledger tbody tr").length, run: document.getElementById("run").textContent,
          fits: document.documentElement.scrollWidth <= innerWidth && last <= innerWidth,
          log: [...document.querySelectorAll("#errorlog li")].map((li) => li.textContent),
          cards: [...document.querySelectorAll(".panel")].map((p) =>
            [".state", ".range"].flatMap((part) => [...p.querySelector(part).textContent
              .matchAll(/(\\d+) readings/g)].map((m) => m[1])))};
})()"""


def live_page_shows_what_the_terminal_shows(cwd):
    w = Wsmon(cwd, ["--http", "0", "--sequence-byte"],
              sim="--sensors 9 --interval 150 --jitter 20 --frames 900 --seed 11 --bad-check 0.05 "
                  "--lose 0.05 --linger 60000 --wait-probe")
    port = w.http_port()
    w.say("settings save=0 sensors=9\nopen\nstart\n")
    page = Chromium(cwd, f"http://127.0.0.1:{port}/")
    seen = {}
    shown = lambda: seen.update(page.value(PAGE) or {}) or seen.get("rows", 0) >= 10
    wait_until(shown, 30, "the page shows the ledger of a run")
    cards = [seen["cards"] for _ in range(20) if shown()]
    check(cards and all(len(set(c)) == 1 for snapshot in cards for c in snapshot),
          f"each card says one reading count during the run: {cards[-1] if cards else None}")
    w.say("stop\n")
    wait_until(lambda: shown() and seen["run"].startswith("run ended"), 20, "the run's end")
    page.call("Page.reload")
    wait_until(lambda: shown() and seen["run"].startswith("run ended") and
               len(seen["log"]) == min(50, len(logged(w))), 20, "the page shows the run's end")
    page.close()
    w.finish()
    check({"lost", "dup", "seq%"} <= set(seen["heads"]), f"the sequence columns: {seen['heads']}")
    check(seen["fits"], "at 1280 px the ledger's last column scrolls into view; the page does not")
    check(seen["log"] == logged(w)[-50:] and seen["log"],
          f"the error log's latest {len(seen['log'])} lines, as the terminal's "
          f"{len(logged(w))}: {seen['log'][-1:]} {logged(w)[-1:]}")


def logged(w):
    return re.findall(r'^log line \d+ "(.*)"$', open(w.out, encoding="utf-8").read(), re.M)


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


def slow_clients_cannot_starve_the_server(cwd):
    w = Wsmon(cwd, ["--http", "0"])
    port = w.http_port()
    # Fifty clients that never finish a request: silent ones, and ones that trickle a header.
    slow = [(socket.create_connection(("127.0.0.1", port)), first)
            for first in [b"", b"GET /metrics HTTP/1.1\r\nHost: wsmon\r\n"] * 25]
    trickling = threading.Event()
    def trickle():
        while not trickling.wait(0.5):
            for conn, first in slow:
                try:
                    conn.sendall(first and b"X-Slow: 1\r\n")
                except OSError:
                    pass
    for conn, first in slow:
        conn.sendall(first)
    threading.Thread(target=trickle, daemon=True).start()
    status, _, text = get(port, "/metrics")
    check(status == 200 and "wsmon_frames_total" in text, "/metrics answers beside 50 slow clients")
    def closed(conn):
        conn.settimeout(15)
        try:
            return conn.recv(1) == b""
        except OSError:
            return True
    check(all(closed(conn) for conn, _ in slow), "the server closes every unfinished request")
    trickling.set()
    for method in ("POST", "PUT", "PATCH", "DELETE"):
        # The body is announced and never sent: the answer must not wait for it.
        with socket.create_connection(("127.0.0.1", port), timeout=15) as conn:
            conn.sendall(f"{method} /metrics HTTP/1.1\r\nHost: wsmon\r\n"
                         "Content-Length: 100\r\n\r\n".encode())
            head = conn.recv(4096).decode()
        check(head.startswith("HTTP/1.1 405") and "\r\nAllow: GET, HEAD\r\n" in head,
              f"{method}: 405 with Allow {head.splitlines()[:1]}")
    w.finish()


class Broker:
    """mosquitto on a free port of 127.0.0.1, and a mosquitto_sub of every topic. persist: the
    broker keeps its sessions across a restart, and mosquitto_sub has one (QoS 1), so that it
    misses nothing sent while it reconnects."""

    def __init__(self, cwd, port=None, persist=False):
        self.port = port or free_port()
        self.conf = os.path.join(cwd, f"broker{self.port}.conf")
        with open(self.conf, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\n")
            if persist:
                # The broker drops to its own user, who must be able to reach and write there
                # (the test's directory is its own alone).
                self.store = tempfile.mkdtemp()
                os.chmod(self.store, 0o777)
                store = self.store
                f.write(f"persistence true\npersistence_location {store}/\n"
                        "max_queued_messages 0\n")  # what waits for mosquitto_sub to return
            else:
                f.write("persistence false\n")
        self.start_broker()
        self.log = os.path.join(cwd, f"topics{self.port}.txt")
        session = ["-c", "-i", f"test{self.port}", "-q", "1"] if persist else []
        self.sub = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port),
                                     "-v", "-t", "#"] + session, stdout=open(self.log, "w"))
        wait_until(self.subscribed, 10, "mosquitto_sub takes every topic")

    def start_broker(self):
        self.broker = subprocess.Popen(["mosquitto", "-c", self.conf], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        wait_until(self.answers, 10, "the broker listens")

    def stop_broker(self):
        self.broker.terminate()
        self.broker.wait(timeout=10)

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
        if hasattr(self, "store"):
            shutil.rmtree(self.store, ignore_errors=True)


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
    announced = [(t, json.loads(p)) for t, p in m if t.startswith("homeassistant/sensor/")]
    configs = dict(announced)
    check(len(configs) == 6 and len(announced) == 6 and
          all(c["state_topic"] in topics and c.get("expire_after", 0) >= 1
              for c in configs.values()),
          f"one discovery configuration per sensor and quantity, with expire_after: {len(announced)}")
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


def mqtt_outage_loses_no_reading(cwd):
    b = Broker(cwd, persist=True)
    w = Wsmon(cwd, ["--mqtt", f"127.0.0.1:{b.port}", "--mqtt-topic", "lab/out"],
              sim="--sensors 3 --interval 100 --jitter 10 --frames 600 --seed 7 --linger 60000 "
                  "--wait-probe")
    good = lambda: int(([0] + re.findall(r'^good " *(\d+) *"$', open(w.out).read(), re.M))[-1])
    said = lambda word: sum(word in l for l in w.errors)
    w.say("settings save=0 sensors=3\nopen\nstart\n")
    wait_until(lambda: len(b.said("lab/out/events")) > 30, 20, "readings reach the broker")
    b.stop_broker()
    wait_until(lambda: said(" lost;"), 10, "wsmon sees the broker go")
    lost_at = good()
    wait_until(lambda: good() >= lost_at + 90, 20, "3 s of readings while the broker is away")
    b.start_broker()
    back = time.monotonic()
    wait_until(lambda: said(" connected"), 20, "wsmon is back")
    print(f"info: connected again {time.monotonic() - back:.2f} s after the broker's return, "
          f"{good() - lost_at} readings taken meanwhile")
    wait_until(lambda: good() == 600, 30, "the simulator's readings are all in")
    s = summary(w.finish("stop\nexit\n"))
    want = expected_counts(s)
    # QoS 1 may deliver a message twice (an acknowledgement lost with the connection): those
    # repeat a reading already there, and are counted apart.
    def numbers():
        events = [json.loads(p) for p in b.said("lab/out/events")]
        return {i: [e["number"] for e in events if e["event"] == "reading" and e["sensor"] == i]
                for i in want}
    firsts = lambda: {i: list(dict.fromkeys(n)) for i, n in numbers().items()}
    wait_until(lambda: {i: len(n) for i, n in firsts().items()} == want, 30,
               "every reading reaches the broker")
    repeats = sum(map(len, numbers().values())) - sum(want.values())
    check(want and all(n == list(range(want[i])) for i, n in firsts().items()),
          f"each sensor's readings all and in order across the outage, of {want} "
          f"({repeats} sent again)")
    b.stop()


def missing_broker_never_blocks_the_run(cwd):
    port = free_port()
    w = Wsmon(cwd, ["--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", "lab/late", "--http", "0"])
    http = w.http_port()
    w.say("settings save=0 sensors=3\nopen\nstart\nwait 9000\nstop\nwait 10000\n")
    wait_until(lambda: "> wait 10000" in open(w.out).read(), 30, "the run ends without a broker")
    b = Broker(cwd, port)
    wait_until(lambda: "online" in b.said("lab/late/availability"), 40,
               "wsmon connects once the broker is there")
    after = metrics(get(http, "/metrics")[2])
    s = summary(w.finish())
    said = [l for l in w.errors if "not reachable" in l]
    check(len(said) == 1, f"the missing broker is said once: {said}")
    want = expected_counts(s)
    got = {i: int(after[f'wsmon_readings_total{{sensor="{i}"}}']) for i in want}
    check(got == want and after["wsmon_mqtt_messages_dropped_total"] == 0,
          f"the run's counts {got} equal the summary {want}; the outbox kept what waited")
    b.stop()


class Relay:
    """The receiver's line through the test: the simulated receiver on a pseudo-terminal of its
    own, its whole frames passed on to a pseudo-terminal that wsmon opens by a fixed name, until
    the test unplugs it (the name and the far end go). Frames not passed are lost, counted by
    sensor."""

    def __init__(self, cwd, sim_args):
        self.link = os.path.join(cwd, "receiver")
        self.sim = subprocess.Popen([SIM_PROGRAM] + sim_args, stdout=subprocess.PIPE, text=True)
        self.source = os.open(self.sim.stdout.readline().strip(), os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.source)
        self.passed, self.lost = Counter(), Counter()
        self.lock = threading.Lock()
        self.master, self.passing = None, False
        self.plug(passing=False)
        threading.Thread(target=self.pump, daemon=True).start()

    def plug(self, passing=True):
        master, slave = os.openpty()
        tty.setraw(master)
        os.symlink(os.ttyname(slave), self.link)
        os.close(slave)
        with self.lock:
            self.master, self.passing = master, passing

    def hold(self, passing=False, forget=False):
        """Frames are passed on from now, or lost; forget: the count of those lost starts again."""
        with self.lock:
            self.passing = passing
            if forget:
                self.lost.clear()

    def unplug(self):
        with self.lock:
            master, self.master, self.passing = self.master, None, False
        os.unlink(self.link)
        os.close(master)

    def pump(self):
        pending = b""
        while True:
            try:
                data = os.read(self.source, 4096)
            except OSError:
                return
            pending += data
            while len(pending) >= 9:
                if pending[0] != 0xCC:  # into step with the frames
                    pending = pending[1:]
                    continue
                frame, pending = pending[:9], pending[9:]
                with self.lock:
                    if self.passing:
                        os.write(self.master, frame)
                        self.passed[frame[1]] += 1
                    else:
                        self.lost[frame[1]] += 1

    def stop(self):
        self.sim.terminate()
        self.sim.wait(timeout=30)


def words(line):
    """A stats line's KEY=VALUE words."""
    return dict(w.split("=", 1) for w in line.split() if "=" in w)


def shown(lines, after=None):
    """Readings each panel showed, after the line `after` when given."""
    start = lines.index(after) + 1 if after in lines else 0
    return Counter(int(m[1]) for m in (re.match(r'panel (\d) line \d+ "\d{3}-', l)
                                       for l in lines[start:]) if m)


def an_unplugged_receiver_is_one_outage_not_six_silent_sensors(cwd):
    b = Broker(cwd)
    r = Relay(cwd, ["--sensors", "6", "--seed", "3", "--missing", "0"])
    w = Wsmon(cwd, ["--com", "1=" + r.link, "--sequence-byte", "--http", "0", "--mqtt",
                    f"127.0.0.1:{b.port}", "--mqtt-topic", "lab/out", "--json", "events.jsonl"],
              sim=None)
    http = w.http_port()
    w.say("settings save=0 sensors=6\nopen\nstart\nwait 1\n")
    lines = lambda: open(w.out, encoding="utf-8").read().splitlines()
    # The receiver's frames from the start on, which the start's purge of the port leaves alone.
    wait_until(lambda: "> wait 1" in lines(), 10, "the run started")
    r.hold(passing=True, forget=True)
    # The latest stats lines by row ("run", "0" to "5", "refused"), and how many were written.
    stats = lambda: {l.split()[2] if l.startswith("stats sensor") else l.split()[1]: words(l)
                     for l in lines() if l.startswith("stats ")}
    told = lambda: sum(l.startswith("stats refused") for l in lines())
    wait_until(lambda: len(shown(lines())) == 6 and min(shown(lines()).values()) >= 8, 30,
               "every sensor read 8 times")
    r.hold()
    wait_until(lambda: shown(lines()) == r.passed, 10, "wsmon read all it was sent")
    r.unplug()
    wait_until(lambda: "port lost" in lines(), 10, "wsmon finds the receiver gone")
    wait_until(lambda: len(r.lost) == 6 and min(r.lost.values()) >= 4, 20,
               "4 s of every sensor's readings lost")
    w.say("stats\n")
    wait_until(lambda: told() == 1, 10, "the stats lines during the outage")
    during = stats()
    page = metrics(get(http, "/metrics")[2])
    wait_until(lambda: b.said("lab/out/receiver")[-1:] == ["offline"], 10,
               "MQTT: the receiver offline")
    check(during["run"]["port_up"] == "0" and during["run"]["silent"] == "0" and
          all(during[str(s)]["silent"] == "0" for s in range(6)),
          f"4 s into the outage the stats lines call no sensor silent {during['run']}")
    check(page["wsmon_port_up"] == 0 and page["wsmon_sensors_silent"] == 0 and
          all(page[f'wsmon_sensor_silent{{sensor="{s}"}}'] == 0 for s in range(6)),
          "/metrics: the port down, no sensor silent")
    [ledger] = [json.loads(l) for l in open(os.path.join(cwd, "events.jsonl"))
                if '"event":"ledger"' in l]
    check(ledger["run"]["port_up"] is False and ledger["run"]["silent"] == 0 and
          not any(x["silent"] for x in ledger["sensors"]), "JSON: the port down, no sensor silent")
    wait_until(lambda: min(r.lost.values()) >= 5, 20, "5 s of every sensor's readings lost")
    r.plug(passing=False)
    wait_until(lambda: any(l.startswith("port back ") for l in lines()), 10, "the port is back")
    r.hold(passing=True)
    back = next(l for l in lines() if l.startswith("port back "))
    wait_until(lambda: len(shown(lines(), back)) == 6 and min(shown(lines(), back).values()) >= 5,
               30, "every sensor read 5 times since")
    w.say("stats\n")
    wait_until(lambda: told() == 2, 10, "the stats lines after the outage")
    after = stats()
    lost = {s: r.lost[s] for s in range(6)}
    got = {s: [after[str(s)][k] for k in ("missed_outages", "sequence_lost_outages", "missed",
                                          "sequence_lost", "delivery_percent", "silent")]
           for s in range(6)}
    # The count knows the outage's losses exactly; the estimate from the span's length within one.
    check(all(got[s][1:] == [str(lost[s]), "0", "0", "100.00", "0"] and
              abs(int(got[s][0]) - lost[s]) <= 1 for s in range(6)),
          f"each sensor's lost readings as missed in the outage, its own figures untouched: "
          f"lost {lost}, [missed_outages, sequence_lost_outages, missed, sequence_lost, "
          f"delivery, silent] {got}")
    check(int(after["run"]["missed_outages"]) == sum(int(got[s][0]) for s in range(6)) and
          after["run"]["outages"] == "1", f"the run counts the outage's readings once {after['run']}")
    # The page is the snapshot of the outputs' last tick: it may trail the stats lines a little.
    page = {}
    agrees = lambda: page.update(metrics(get(http, "/metrics")[2])) or (
        page["wsmon_port_up"] == 1 and int(after["run"]["missed_outages"]) ==
        sum(page[f'wsmon_sensor_missed_outage_readings{{sensor="{s}"}}'] for s in range(6)))
    check(wait_until(agrees, 10, "/metrics agrees with the stats lines"),
          f"/metrics: the same, the port up {[(k, v) for k, v in page.items() if 'outage' in k]}")
    w.finish()
    r.stop()
    check(b.said("lab/out/receiver") == ["online", "offline", "online"],
          f"MQTT: the receiver online, offline, online {b.said('lab/out/receiver')}")
    b.stop()


missing = [f"{tool} (Debian package {package})" for tool, package in TOOLS.items()
           if shutil.which(tool) is None]
if missing:
    print("FAILED: missing " + ", ".join(missing) + ": scripts/install-deps.sh native installs them")
    sys.exit(1)
run_all(http_outputs_agree_with_the_summary, token_guards_every_path, binding_is_loopback_unless_named,
        live_page_shows_what_the_terminal_shows, slow_clients_cannot_starve_the_server,
        mqtt_carries_every_topic_and_the_will, mqtt_outage_loses_no_reading,
        missing_broker_never_blocks_the_run,
        an_unplugged_receiver_is_one_outage_not_six_silent_sensors)
