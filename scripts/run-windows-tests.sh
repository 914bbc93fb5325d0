#!/usr/bin/env bash
# Runs the Windows tests under Wine, in a Wine prefix of its own under the build folder, in steps:
#   unit      the core's unit tests (wsmon_unit_tests.exe), no display needed;
#   network   the network libraries (wsmon_network_libraries.exe): a QoS 1 message to a mosquitto
#             broker of the step's own, read back by mosquitto_sub, and an HTTP server read by a
#             client on this side, all on 127.0.0.1;
#   adapters  the Win32 adapter tests (wsmon_win32_tests.exe), under Xvfb;
#   driver    the end-to-end test, in which wsmon_driver.exe works the shipped wsmon.exe from
#             outside in a Wine desktop under Xvfb, with the monitor's COM1 joined to the
#             driver's COM2 through two pseudo-terminals;
#   export    the export that the Windows program wrote, compared byte for byte with what the
#             Linux program (wsmon --export-bytes) writes for the very lines the driver read
#             back from the list boxes;
#   zip       the zip that cpack makes: the very wsmon.exe tested here, a README and the licence.
# Screenshots of the running monitor and of its settings dialog are left in BUILD/e2e/out.
#
# Usage: scripts/run-windows-tests.sh [STEP] [BUILD]   (default: all steps, build/mingw)
#   STEP               one of the steps above alone (export compares what the last driver run
#                      left; the others need nothing from before)
#   NATIVE_BUILD=dir   the Linux build whose wsmon makes the reference export (default build/native)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
step=all
case "${1:-}" in
  all | unit | network | adapters | driver | export | zip) step=$1; shift ;;
  -*) echo "usage: $0 [all|unit|network|adapters|driver|export|zip] [BUILD]" >&2; exit 2 ;;
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
cleanup() {
  [ -n "$plug_pid" ] && kill "$plug_pid" 2>/dev/null || true
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

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Up to 600 tries, a tenth of a second apart, of a condition (a command).
wait_for() {
  local _
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  return 1
}

# wsmon_network_libraries.exe publishes a reading as JSON to a broker of this step's own, then
# serves it at /reading until a client posts /quit. In folder $1.
network_step() {
  local net=$1 reading port program status served
  reading='{"humidity_RH":47,"name":"传感器3","sensor":3,"temperature_C":-12.5}'
  port=$(free_port)
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$net/broker.conf"
  mosquitto -c "$net/broker.conf" >"$net/broker.log" 2>&1 &
  broker_pids+=($!)
  pub() { mosquitto_pub -h 127.0.0.1 -p "$port" -t wsmon/probe -m "$1" 2>/dev/null; }
  if ! wait_for pub listening; then
    cat "$net/broker.log"
    result "a mosquitto broker starts on 127.0.0.1:$port" 1
    return
  fi
  # The subscriber is known to listen once it has read a probe of its own.
  mosquitto_sub -h 127.0.0.1 -p "$port" -q 1 -F '%t %q %p' -t 'wsmon/#' >"$net/received.txt" &
  broker_pids+=($!)
  heard() { pub probe; grep -qxF "$1" "$net/received.txt"; }
  wait_for heard 'wsmon/probe 0 probe' || echo "mosquitto_sub did not subscribe"

  timeout 300 wine "$build/tests/wsmon_network_libraries.exe" "$port" wsmon/reading \
    "$(winpath "$net/http-port")" >"$net/program.log" 2>&1 &
  program=$!
  until [ -s "$net/http-port" ] || ! kill -0 "$program" 2>/dev/null; do sleep 0.05; done
  served=
  if [ -s "$net/http-port" ]; then
    served=$(python3 - "$(cat "$net/http-port")" <<'CLIENT'
import sys, urllib.request
base = "http://127.0.0.1:" + sys.argv[1]
sys.stdout.buffer.write(urllib.request.urlopen(base + "/reading", timeout=60).read())
urllib.request.urlopen(urllib.request.Request(base + "/quit", data=b"", method="POST"), timeout=60)
CLIENT
    )
  fi
  # Without a client's /quit the program would serve on.
  [ -n "$served" ] || kill "$program" 2>/dev/null
  wait "$program"
  status=$?
  tr -d '\r' <"$net/program.log"
  [ "$served" = "$reading" ] && [ "$status" -eq 0 ]
  result "wsmon_network_libraries.exe serves its reading to a client on 127.0.0.1 and stops" $?
  got() { grep -qxF "wsmon/reading 1 $reading" "$net/received.txt"; }
  wait_for got
  result "its QoS 1 message reaches mosquitto_sub through the broker" $?
  [ "$served" = "$reading" ] || echo "served: ${served:-nothing}"
  got || { echo "mosquitto_sub read:"; cat "$net/received.txt"; }
  kill "${broker_pids[@]}" 2>/dev/null
  broker_pids=()
}

# Whether STEP asks for this step.
want() { [ "$step" = all ] || [ "$step" = "$1" ]; }

timeout 20 wineserver -k 2>/dev/null || true
rm -f "$e2e/replug.pids"
if want unit || want network || want adapters || want driver; then
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

if want network; then
  echo "== Network libraries under Wine"
  net=$e2e/network
  rm -rf "$net"
  mkdir -p "$net"
  set +e
  network_step "$net"
  set -e
  timeout 20 wineserver -k 2>/dev/null || true
fi

if want adapters || want driver; then
  echo "== Windows program under Xvfb"
  {
    echo "set -u"
    echo "cd '$e2e'"
    if want adapters; then
      echo "timeout 300 wine '$build/tests/wsmon_win32_tests.exe' --gtest_brief=1 \\"
      echo "  >'$out/win32-tests.log' 2>&1"
      echo "echo \$? >'$out/win32-tests.rc'"
    fi
    if want driver; then
      echo "timeout 600 wine '$build/tests/wsmon_driver.exe' '$(winpath "$build/wsmon.exe")' \\"
      echo "  '$(winpath "$e2e/work")' '$(winpath "$out")' COM2 small >'$out/driver.log' 2>&1"
      echo "echo \$? >'$out/driver.rc'"
    fi
    echo "timeout 20 wineserver -k"
  } >"$e2e/session.sh"
  if want driver; then
    plug_on_request "${relay_pids[0]}" &
    plug_pid=$!
  fi
  start=$SECONDS
  timeout 1200 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$e2e/session.sh" || true
  echo "session took $((SECONDS - start)) s"
fi

if want adapters; then
  tr -d '\r' <"$out/win32-tests.log" | tail -n 25
  result "Win32 adapter tests (wsmon_win32_tests.exe)" \
    "$(cat "$out/win32-tests.rc" 2>/dev/null || echo 1)"
fi
if want driver; then
  tr -d '\r' <"$out/driver.log"
  driver_ok=1
  if [ "$(cat "$out/driver.rc" 2>/dev/null)" = 0 ] &&
    tr -d '\r' <"$out/driver.log" | grep -qE '^[0-9]+ passed, 0 failed$'; then
    driver_ok=0
  fi
  result "end-to-end test of wsmon.exe (wsmon_driver.exe)" "$driver_ok"
  for shot in "$out"/*.bmp; do
    [ -f "$shot" ] || continue
    python3 "$root/tests/win32/bmp_to_png.py" "$shot" "${shot%.bmp}.png"
    rm -f "$shot"
    echo "screenshot: ${shot%.bmp}.png"
  done
fi

if want export; then
  echo "== Export compared with the Linux program's"
  export_ok=1
  shopt -s nullglob
  exports=("$e2e/work/first"/RUVEZ_*.txt)
  if [ ${#exports[@]} -eq 1 ] && [ -f "$out/listbox-lines.txt" ]; then
    if [ ! -x "$native/wsmon" ]; then
      cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWSMON_WERROR=ON >/dev/null
    fi
    cmake --build "$native" --target wsmon -j2 >/dev/null
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
