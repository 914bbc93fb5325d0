#!/usr/bin/env bash
# Runs the monitor against the simulated receiver (4 sensors with a few faults) in a fresh
# directory under demo/.
# On a terminal: the interactive monitor, set to COM1 at 9600 with saving on; the operator opens
# the port (p), starts (s), stops (t, which writes the export) and exits (x).
# Otherwise (CI, a pipe): a scripted run of about 20 seconds with --headless, stopped with saving
# on, printing every event as it happens.
# Then it tells where the export file is.
# Usage: scripts/demo.sh [BUILD_DIR]   (default build/native; `make demo` builds it first)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build/native}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
wsmon="$build/wsmon"
sim="$build/wsmon-sim"
for program in "$wsmon" "$sim"; do
  if [ ! -x "$program" ]; then
    echo "demo: $program is missing; build first (make demo does)" >&2
    exit 1
  fi
done

run="$root/demo/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$run"
cd "$run"

# Stray bytes, bad check bytes, sensor ids beyond 31, frames cut in two and readings lost on the
# air, now and then; the sensors count their readings in the extra byte, so the ledger counts
# the losses exactly, and the CSV files come with each export.
receiver=(--sequence-byte --csv --simulate --sim "$sim"
  --sim-arg=--sensors --sim-arg=4 --sim-arg=--seed --sim-arg=42
  --sim-arg=--stray --sim-arg=0.04 --sim-arg=--bad-check --sim-arg=0.04
  --sim-arg=--high-id --sim-arg=0.02 --sim-arg=--split --sim-arg=0.04
  --sim-arg=--lose --sim-arg=0.03)

printf '\001\000\001\004' >wscfg.cfg  # COM1, 9600 baud, saving on, 4 sensors
if [ -t 0 ] && [ -t 1 ]; then
  echo "== wsmon --simulate in $run"
  echo "Keys: p open, s start, t stop (writes the export), g chart, l ledger, x exit; F10 marks the menu."
  sleep 2
  "$wsmon" "${receiver[@]}"
else
  echo "== wsmon --headless --simulate in $run"
  "$wsmon" --headless "${receiver[@]}" <<'COMMANDS' | tee wsmon-output.txt
settings port=1 baud=9600 save=1 sensors=4
open
start
wait 20000
stop
exit
COMMANDS
fi

shopt -s nullglob
exports=(RUVEZ_*.txt)
echo
if [ ${#exports[@]} -eq 0 ]; then
  if [ -t 0 ] && [ -t 1 ]; then
    echo "No run was stopped, so no export file was written. The settings: $run/wscfg.cfg"
    exit 0
  fi
  echo "demo: no export file was written" >&2
  exit 1
fi
export_file="$run/${exports[0]}"
echo "== The export (code page 936, lines ended by CR LF), first lines shown in UTF-8:"
if command -v iconv >/dev/null 2>&1; then
  head -n 8 "$export_file" | iconv -f CP936 -t UTF-8 | tr -d '\r'
fi
echo
echo "Export file: $export_file ($(wc -l <"$export_file") lines)"
[ -f wsmon-output.txt ] && echo "Every event: $run/wsmon-output.txt"
exit 0
