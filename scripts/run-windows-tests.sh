#!/usr/bin/env bash
# Runs the Windows tests under Wine, in a Wine prefix of its own under the build folder, in steps:
#   unit      the core's unit tests (wsmon_unit_tests.exe), no display needed;
#   adapters  the Win32 adapter tests (wsmon_win32_tests.exe), under Xvfb;
#   driver    the end-to-end test, in which wsmon_driver.exe works the shipped wsmon.exe from
#             outside in a Wine desktop under Xvfb, with the monitor's COM1 joined to the
#             driver's COM2 through two pseudo-terminals; at its end a run with options: COM1
#             of the settings opens COM12 (joined to the driver's COM7), every output on, an
#             HTTP port with a token, a mosquitto broker of the step's own on 127.0.0.1 read
#             by mosquitto_sub, and the ledger window read back from its list;
#   export    the export that the Windows program wrote, compared byte for byte with what the
#             Linux program (wsmon --export-bytes) writes for the very lines the driver read
#             back from the list boxes;
#   outputs   what the run with options left: /metrics as read during the run checked by
#             promtool, the messages the broker passed on, and its CSV files and JSON Lines
#             compared with what the Linux program writes for the same bytes, and the
#             recording it made replayed by the Linux program into the same files;
#   service   wsmon.exe --run --rotate 2s worked by wsmon_driver.exe --service, its COM1 joined
#             to the simulated receiver (the Linux wsmon-sim) on COM3: the runs' exports, the
#             last written when the window is closed, hold every reading the receiver sent once;
#   zip       the zip that cpack makes: the very wsmon.exe tested here, a README and the licence.
# Screenshots of the running monitor, its settings dialog and its ledger window are left in
# BUILD/e2e/out.
#
# Usage: scripts/run-windows-tests.sh [STEP] [BUILD]   (default: all steps, build/mingw)
#   STEP               one of the steps above alone (export and outputs check what the last
#                      driver run left; the others need nothing from before)
#   NATIVE_BUILD=dir   the Linux build whose wsmon makes the reference export and whose wsmon-sim
#                      plays the receiver of the service step (default build/native)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
step=all
case "${1:-}" in
  all | unit | adapters | driver | export | outputs | service | zip) step=$1; shift ;;
  -*) echo "usage: $0 [all|unit|adapters|driver|export|outputs|service|zip] [BUILD]" >&2; exit 2 ;;
esac
build=$(realpath "${1:-build/mingw}")
native=$(realpath -m "${NATIVE_BUILD:-$root/build/native}")
e2e=$build/e2e
out=$e2e/out

export WINEPREFIX=$e2e/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer dialogs while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=

passed=0
failed=0
result() {  # name, status
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1)); echo "PASS $1"
  else
    failed=$((failed + 1)); echo "FAIL $1"
  fi
}

relay_pids=()
broker_pids=()
plug_pid=
scrape_pid=
sim_pid=
cleanup() {
  for pid in $plug_pid $scrape_pid $sim_pid; do kill "$pid" 2>/dev/null || true; done
  # The wineserver goes first: it floods its output when a port's other end hangs up.
  timeout 20 wineserver -k 2>/dev/null || true
  for pid in "${relay_pids[@]}" "${broker_pids[@]}" $(cat "$e2e/replug.pids" 2>/dev/null); do
    kill "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

# Two pseudo-terminals joined by a relay; their paths are $1 and $2.
relay() {
  socat "pty,raw,echo=0,link=$1" "pty,raw,echo=0,link=$2" &
  relay_pids+=($!)
  for _ in $(seq 50); do [ -e "$1" ] && [ -e "$2" ] && return 0; sleep 0.1; done
  echo "the pseudo-terminal relay did not start" >&2
  return 1
}

winpath() { echo "Z:${1//\//\\}"; }

# The driver unplugs the line between COM1 and COM2 once during a run: it creates work/unplug,
# and the relay goes (both pseudo-terminals and their names) until it creates work/replug. Each
# request is answered by a file NAME.done.
plug_on_request() {  # relay pid
  local work=$e2e/work
  until [ -e "$work/unplug" ]; do [ -e "$out/driver.rc" ] && return; sleep 0.05; done
  kill "$1"
  while [ -e "$e2e/com1" ] || [ -e "$e2e/com2" ]; do sleep 0.05; done
  touch "$work/unplug.done"
  until [ -e "$work/replug" ]; do [ -e "$out/driver.rc" ] && return; sleep 0.05; done
  socat "pty,raw,echo=0,link=$e2e/com1" "pty,raw,echo=0,link=$e2e/com2" &
  echo $! >>"$e2e/replug.pids"
  until [ -e "$e2e/com1" ] && [ -e "$e2e/com2" ]; do sleep 0.05; done
  touch "$work/replug.done"
}

# Starts the simulated receiver on sim3 when the service's driver creates WORK/simulate, and
# answers once it is there; it writes its summary into WORK/sim.txt when it ends. The script
# holds sim3 open meanwhile, so that the line stays up when the receiver closes its end.
simulate_on_request() {
  local work=$e2e/service
  until [ -e "$work/simulate" ]; do [ -e "$out/service.rc" ] && return; sleep 0.05; done
  exec 8<>"$e2e/sim3"
  # About 6 s of a busy line at 9600 baud, after the probe of the monitor's open.
  "$native/wsmon-sim" --device "$e2e/sim3" --baud 9600 --sensors 4 --interval 5 --jitter 0 \
    --missing 0 --seed 7 --wait-probe --frames 600 --linger 1000 >"$work/sim.txt" 2>&1 &
  until [ -s "$work/sim.txt" ]; do sleep 0.05; done
  touch "$work/simulate.done"
  wait
  until [ -e "$out/service.rc" ]; do sleep 0.2; done
  exec 8<&-
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Up to 600 tries, a tenth of a second apart, of a condition (a command).
wait_for() {
  local _
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  return 1
}

# The broker of the run with options, on a free port of 127.0.0.1, and a subscriber to every
# topic that writes what it reads into $1. Sets broker_port.
start_broker() {
  local received=$1 conf=$e2e/broker.conf
  broker_port=$(free_port)
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$broker_port" >"$conf"
  mosquitto -c "$conf" >"$e2e/broker.log" 2>&1 &
  broker_pids+=($!)
  pub() { mosquitto_pub -h 127.0.0.1 -p "$broker_port" -t wsmon/probe -m "$1" 2>/dev/null; }
  if ! wait_for pub listening; then
    cat "$e2e/broker.log"
    return 1
  fi
  # The subscriber is known to listen once it has read a probe of its own.
  mosquitto_sub -h 127.0.0.1 -p "$broker_port" -v -t '#' >"$received" &
  broker_pids+=($!)
  heard() { pub probe; grep -qxF 'wsmon/probe probe' "$received"; }
  wait_for heard
}

# Answers the driver's requests to read the monitor's /metrics (WORK/scrape), with and without
# the token, until the driver ends.
scrape_on_request() {  # http port, token
  local work=$e2e/work
  until [ -e "$work/scrape" ]; do [ -e "$out/driver.rc" ] && return; sleep 0.05; done
  curl -s -o /dev/null -w '%{http_code}\n' "http://127.0.0.1:$1/metrics" >"$out/metrics-without-token.txt"
  # The page follows the ledger at the outputs' next tick: read until it counts the batches.
  counted() {
    curl -s -H "Authorization: Bearer $2" "http://127.0.0.1:$1/metrics" >"$out/metrics.txt" &&
      grep -qxF 'wsmon_readings_total{sensor="0"} 4' "$out/metrics.txt"
  }
  wait_for counted "$@" || true
  touch "$work/scrape.done"
}

# The Linux program that the Windows program's files are compared with, built when needed.
native_wsmon() {
  if [ ! -x "$native/wsmon" ]; then
    cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWSMON_WERROR=ON >/dev/null
  fi
  cmake --build "$native" --target wsmon wsmon-sim -j2 >/dev/null
}

# Whether STEP asks for this step.
want() { [ "$step" = all ] || [ "$step" = "$1" ]; }

timeout 20 wineserver -k 2>/dev/null || true
rm -f "$e2e/replug.pids"
if want unit || want adapters || want driver || want service; then
  # A fresh prefix; what an earlier driver run left stays for the export step unless the driver
  # runs again.
  rm -rf "$WINEPREFIX"
  if want driver; then rm -rf "$e2e/work" "$out"; fi
  mkdir -p "$e2e/work" "$out"

  echo "== Wine prefix"
  start=$SECONDS
  timeout 180 wine wineboot -i >/dev/null 2>&1
  # Debian's Wine does not find its own fonts where the package puts them. The prefix gets
  # Marlett, which draws the caption buttons; not Tahoma, whose Chinese fallback would need the
  # font files of a Chinese Windows: without it the user interface font is a Chinese one.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  relay "$e2e/com1" "$e2e/com2"
  relay "$e2e/com7" "$e2e/com8"  # COM7 and COM12 for the serial port tests
  relay "$e2e/com3" "$e2e/sim3"  # COM3 for the service, the simulated receiver on sim3
  # Chinese needs a font with its glyphs wherever the system asks for its usual Chinese faces.
  # The system font, which the list boxes use, gets the monospaced face, whose Latin letters are
  # half as wide as its Chinese ones, as in the system font of a Chinese Windows: with a wider
  # face the panel lines no longer fit their panels. The menu font is SimSun at 16 pixels: the
  # prefix's own (8 points of MS Shell Dlg) comes out with strokes missing from the Chinese glyphs,
  # which this font renders whole only from 16 pixels on (the value is a LOGFONTW: height -16,
  # weight 400, charset GB2312, face SimSun).
  # Every program runs in a Wine desktop of 1280 x 1024, which draws caption bars (there is no
  # window manager); "small" is a desktop of 800 x 600 for the screen-size check.
  # COM4 leads to no device: it opens, but cannot be set up.
  cat >"$e2e/setup.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"SimSun"="WenQuanYi Zen Hei"
"NSimSun"="WenQuanYi Zen Hei"
"Microsoft YaHei"="WenQuanYi Zen Hei"
"MS Shell Dlg"="WenQuanYi Zen Hei"
"System"="WenQuanYi Zen Hei Mono"

[HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics]
"MenuFont"=hex:f0,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,86,00,00,00,00,53,00,69,00,6d,00,53,00,75,00,6e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="1280x1024"
"small"="800x600"

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$e2e/com1"
"COM2"="$e2e/com2"
"COM4"="$e2e/no-such-device"
"COM3"="$e2e/com3"
"COM7"="$e2e/com7"
"COM12"="$e2e/com8"
REG
  timeout 60 wine regedit /S "$(winpath "$e2e/setup.reg")"
  timeout 60 wineserver -w || timeout 20 wineserver -k
  echo "prefix ready in $((SECONDS - start)) s"
fi

if want unit; then
  echo "== Core unit tests under Wine"
  set +e
  timeout 900 wine "$build/tests/wsmon_unit_tests.exe" --gtest_brief=1 2>&1 | tr -d '\r' |
    tail -n 25
  result "core unit tests (wsmon_unit_tests.exe)" "${PIPESTATUS[0]}"
  set -e
  # The next wineserver must start inside the Xvfb session, with its display.
  timeout 20 wineserver -k 2>/dev/null || true
fi

if want adapters || want driver || want service; then
  echo "== Windows program under Xvfb"
  if want driver; then
    # The run with options: a token only its owner may read, the same in a file anyone may
    # read, a free HTTP port and a broker of its own.
    token=$(python3 -c 'import secrets; print(secrets.token_hex(16))')
    (umask 077 && echo "$token" >"$e2e/work/token")
    echo "$token" >"$e2e/work/open-token"
    chmod 644 "$e2e/work/open-token"
    http_port=$(free_port)
    broker_port=0
    start_broker "$out/mqtt-received.txt" || echo "the broker did not start"
  fi
  {
    echo "set -u"
    echo "cd '$e2e'"
    if want adapters; then
      echo "timeout 300 wine '$build/tests/wsmon_win32_tests.exe' --gtest_brief=1 \\"
      echo "  >'$out/win32-tests.log' 2>&1"
      echo "echo \$? >'$out/win32-tests.rc'"
    fi
    if want driver; then
      echo "timeout 900 wine '$build/tests/wsmon_driver.exe' '$(winpath "$build/wsmon.exe")' \\"
      echo "  '$(winpath "$e2e/work")' '$(winpath "$out")' COM2 small \\"
      echo "  COM7 $http_port $broker_port '$(winpath "$e2e/work/token")' \\"
      echo "  '$(winpath "$e2e/work/open-token")' >'$out/driver.log' 2>&1"
      echo "echo \$? >'$out/driver.rc'"
    fi
    if want service; then
      echo "timeout 300 wine '$build/tests/wsmon_driver.exe' --service \\"
      echo "  '$(winpath "$build/wsmon.exe")' '$(winpath "$e2e/service")' COM3 \\"
      echo "  >'$out/service.log' 2>&1"
      echo "echo \$? >'$out/service.rc'"
    fi
    echo "timeout 20 wineserver -k"
  } >"$e2e/session.sh"
  if want service; then
    rm -rf "$e2e/service" "$out/service.rc" && mkdir -p "$e2e/service" "$out"
    native_wsmon
    simulate_on_request &
    sim_pid=$!
  fi
  if want driver; then
    plug_on_request "${relay_pids[0]}" &
    plug_pid=$!
    scrape_on_request "$http_port" "$token" &
    scrape_pid=$!
  fi
  start=$SECONDS
  timeout 1500 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$e2e/session.sh" || true
  echo "session took $((SECONDS - start)) s"
  if want driver; then
    kill "$scrape_pid" "${broker_pids[@]}" 2>/dev/null || true
    broker_pids=()
  fi
fi

if want adapters; then
  tr -d '\r' <"$out/win32-tests.log" | tail -n 25
  result "Win32 adapter tests (wsmon_win32_tests.exe)" \
    "$(cat "$out/win32-tests.rc" 2>/dev/null || echo 1)"
fi
# Shows a driver's log OUT/NAME.log and counts it passed when it ended with 0 and no check
# failed.
driver_result() {  # name, what
  local ok=1
  tr -d '\r' <"$out/$1.log"
  if [ "$(cat "$out/$1.rc" 2>/dev/null)" = 0 ] &&
    tr -d '\r' <"$out/$1.log" | grep -qE '^[0-9]+ passed, 0 failed$'; then
    ok=0
  fi
  result "$2" "$ok"
}
if want driver; then
  driver_result driver "end-to-end test of wsmon.exe (wsmon_driver.exe)"
  for shot in "$out"/*.bmp; do
    [ -f "$shot" ] || continue
    python3 "$root/tests/win32/bmp_to_png.py" "$shot" "${shot%.bmp}.png"
    rm -f "$shot"
    echo "screenshot: ${shot%.bmp}.png"
  done
fi

if want service; then
  driver_result service \
    "wsmon.exe --run --rotate: every reading sent is in one run's export (wsmon_driver.exe --service)"
  # Each run's recording, replayed alone by the Linux program (saving on, as the service saved),
  # makes one of the runs' exports.
  runs=$e2e/service/runs replayed=$e2e/service/replayed replay_ok=0 count=0
  for rec in "$runs"/bench_*.rec; do
    [ -f "$rec" ] || { replay_ok=1; break; }
    rm -rf "$replayed" && mkdir -p "$replayed" && printf '\001\000\001\004' >"$replayed/wscfg.cfg"
    (cd "$replayed" && echo exit | "$native/wsmon" --headless --replay "$rec" >/dev/null) || replay_ok=1
    same=1
    for made in "$runs"/RUVEZ_*.txt; do cmp -s "$made" "$replayed"/RUVEZ_*.txt && same=0; done
    [ "$same" = 0 ] && count=$((count + 1)) || replay_ok=1
  done
  echo "$count recordings replayed into their runs' exports"
  result "each run's recording replays alone on Linux into that run's export" "$replay_ok"
fi

if want export; then
  echo "== Export compared with the Linux program's"
  export_ok=1
  shopt -s nullglob
  exports=("$e2e/work/first"/RUVEZ_*.txt)
  if [ ${#exports[@]} -eq 1 ] && [ -f "$out/listbox-lines.txt" ]; then
    native_wsmon
    "$native/wsmon" --export-bytes <"$out/listbox-lines.txt" >"$out/linux-export.txt"
    if cmp "${exports[0]}" "$out/linux-export.txt"; then
      export_ok=0
      echo "identical: $(basename "${exports[0]}"), $(stat -c %s "${exports[0]}") bytes"
    fi
  else
    echo "no export file or no list box lines to compare"
  fi
  result "export identical to the Linux program's for the same lines" "$export_ok"
fi

if want outputs; then
  echo "== The outputs of the run with options"
  set +e
  promtool check metrics <"$out/metrics.txt" >"$out/promtool.txt" 2>&1 &&
    grep -qx 'wsmon_readings_total{sensor="0"} 4' "$out/metrics.txt" &&
    [ "$(cat "$out/metrics-without-token.txt" 2>/dev/null)" = 401 ]
  result "/metrics of wsmon.exe passes promtool, counts the run, and wants the token" $?
  cat "$out/promtool.txt"
  grep -E '^wsmon_(readings_total|sequence_lost_total)\{sensor="[01]"\}' "$out/metrics.txt"
  # The first reading of sensor 0 (+23.0625 degrees, 45.6 %RH) under the run's topic prefix.
  grep -qxF 'wsmon/e2e/sensors/0/temperature_C 23.0625' "$out/mqtt-received.txt" &&
    grep -qxF 'wsmon/e2e/sensors/0/humidity_RH 45.6' "$out/mqtt-received.txt" &&
    grep -qxF 'wsmon/e2e/availability offline' "$out/mqtt-received.txt"
  result "wsmon.exe's readings reach mosquitto_sub through the broker, and its going offline" $?
  grep -c '^wsmon/e2e/' "$out/mqtt-received.txt" | sed 's/$/ messages under wsmon\/e2e/'
  # The CSV files and JSON Lines of that run against the Linux program's for the same batches.
  native_wsmon
  python3 "$root/tests/win32/same_outputs.py" "$native/wsmon" "$out/outputs-batches.txt" \
    "$e2e/work/outputs" "$e2e/same-outputs"
  result "wsmon.exe's CSV files and JSON Lines equal the Linux program's for the same bytes" $?
  # The recording that wsmon.exe made of that run (--record), replayed by the Linux program with
  # the run's settings file: the same export, CSV files and JSON Lines, byte for byte.
  replayed=$e2e/replayed-outputs
  rm -rf "$replayed" && mkdir -p "$replayed" && cp "$e2e/work/outputs/wscfg.cfg" "$replayed/"
  replay_ok=1
  if (cd "$replayed" && echo exit | "$native/wsmon" --headless --replay "$e2e/work/outputs/run.rec" \
    --speed max --csv --json events.jsonl --sequence-byte >headless.txt 2>&1); then
    replay_ok=0
    for made in "$e2e/work/outputs"/RUVEZ_*; do
      cmp "$made" "$replayed/$(basename "$made")" || replay_ok=1
      echo "$(basename "$made"): $(stat -c %s "$made") bytes"
    done
    # The header names each program's build, which may come from different commits.
    unversioned() { sed 's/"version":"[^"]*"/"version":*/' "$1"; }
    cmp <(unversioned "$e2e/work/outputs/events.jsonl") <(unversioned "$replayed/events.jsonl") ||
      replay_ok=1
    echo "events.jsonl: $(stat -c %s "$e2e/work/outputs/events.jsonl") bytes (versions aside)"
  fi
  grep '^replay: ' "$replayed/headless.txt"
  result "wsmon.exe's recording replays on Linux into the same export, CSV files and JSON Lines" \
    $replay_ok
  set -e
fi

if want zip; then
  echo "== The zip of the Windows program"
  zip_ok=1
  if (cd "$build" && cpack -G ZIP -B "$e2e/zip" >/dev/null) &&
    python3 - "$e2e/zip" "$build/wsmon.exe" <<'CHECK'
import glob, sys, zipfile
[path] = glob.glob(sys.argv[1] + "/wsmon-*.zip")
z = zipfile.ZipFile(path)
files = {n.split("/", 1)[1]: n for n in z.namelist() if not n.endswith("/")}
assert sorted(files) == ["LICENSE.txt", "README.txt", "wsmon.exe"], files
assert z.read(files["wsmon.exe"]) == open(sys.argv[2], "rb").read(), "not the wsmon.exe tested here"
for text in ("README.txt", "LICENSE.txt"):
    data = z.read(files[text])
    assert data.count(b"\n") == data.count(b"\r\n") > 0, text + " has other line ends than CR LF"
print(path.rsplit("/", 1)[1] + ":", ", ".join(f"{n} ({z.getinfo(files[n]).file_size} bytes)"
                                          for n in sorted(files)))
CHECK
  then
    zip_ok=0
  fi
  result "the zip holds the wsmon.exe tested above, with its texts in CR LF" "$zip_ok"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
