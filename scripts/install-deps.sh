#!/usr/bin/env bash
# Installs the Debian packages that a make target needs, when they are missing.
# Usage: scripts/install-deps.sh native|windows|all
# As root it runs apt-get; otherwise it prints the command to run and fails. For windows it also
# builds the network libraries of the Windows program (scripts/build-mingw-deps.sh), from Debian's
# source packages: it adds deb-src entries to apt's sources first if there are none.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

# dpkg-dev and file: the Debian package's dependencies are computed by dpkg-shlibdeps.
# libncurses-dev and tmux: the terminal monitor and its tests. nlohmann-json3-dev: the JSON
# Lines records. locales: the locale sources from which a terminal test builds a locale of wide
# ambiguous characters (without root). socat: the tests that unplug and replug a receiver's line.
native=(build-essential cmake make pkg-config googletest libgtest-dev libgmock-dev
        libbenchmark-dev python3 dpkg-dev file libncurses-dev tmux nlohmann-json3-dev locales socat)
windows=(mingw-w64 g++-mingw-w64-x86-64 wine wine64 xvfb xauth fonts-wqy-zenhei fonts-wine socat python3)
# The network libraries of the Windows program: libmosquitto and cpp-httplib from Debian's source
# packages (scripts/build-mingw-deps.sh: dpkg-dev unpacks and checks them, cmake and make build),
# nlohmann-json3-dev as it is. The run of wsmon.exe with its outputs under Wine publishes to a
# mosquitto broker read by mosquitto-clients, and its /metrics is checked with promtool
# (prometheus).
windows+=(cmake make dpkg-dev nlohmann-json3-dev mosquitto mosquitto-clients prometheus)
# The network outputs: libcpp-httplib-dev (the HTTP server) and libmosquitto-dev (the MQTT
# client); their tests run a mosquitto broker with mosquitto-clients, check /metrics with
# promtool (prometheus) and load the live page in chromium.
native+=(libcpp-httplib-dev libmosquitto-dev mosquitto mosquitto-clients prometheus chromium)
# man-db: the package test reads the manual pages with man --warnings.
native+=(man-db)
# The service's package checks: systemd-analyze, systemd-sysusers and systemd-tmpfiles (systemd;
# the tools run without systemd as the init process, in a container too).
native+=(systemd)
# make test-asan (the sanitizers) and make test-fuzz (libFuzzer): clang and its runtimes;
# make check-format and make check-tidy: clang-format and clang-tidy.
native+=(clang libclang-rt-14-dev clang-format clang-tidy)

case "${1:-all}" in
  native) wanted=("${native[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  all) wanted=("${native[@]}" "${windows[@]}") ;;
  *) echo "usage: $0 native|windows|all" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  cmd="apt-get install -y --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run as root: apt-get update && $cmd" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's source packages: a deb-src entry for each Debian archive the machine installs from,
# with the same address, suites, components and key, unless the machine has source entries
# already. Entries of other archives are left out: they may have no sources.
ensure_deb_src() {
  local lists=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list)
  local stanzas=(/etc/apt/sources.list.d/*.sources)
  if grep -Eqs '^Types:.*[[:space:]]deb-src([[:space:]]|$)' "${stanzas[@]}" ||
    grep -Eqs '^[[:space:]]*deb-src[[:space:]]' "${lists[@]}"; then
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "apt has no deb-src entry, which Debian's source packages need." >&2
    echo "Run as root: $0 windows" >&2
    exit 1
  fi
  local made=/etc/apt/sources.list.d/wsmon-deb-src
  # One-line entries: "deb [options] URI suite components".
  grep -hE '^[[:space:]]*deb[[:space:]].*/debian(-security)?/?[[:space:]]' "${lists[@]}" 2>/dev/null |
    sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >"$made.list.new" || true
  # Stanzas: paragraphs separated by blank lines, whose Types has deb.
  awk 'BEGIN { RS = "" }
       /(^|\n)Types:[^\n]*[[:space:]]deb([[:space:]]|\n|$)/ &&
       /(^|\n)URIs:[^\n]*\/debian(-security)?\/?([[:space:]]|\n|$)/ {
         out = ""
         n = split($0, lines, "\n")
         for (i = 1; i <= n; i++) {
           if (lines[i] ~ /^#/) continue
           if (lines[i] ~ /^Types:/) lines[i] = "Types: deb-src"
           out = out lines[i] "\n"
         }
         printf "%s\n", out
       }' "${stanzas[@]}" 2>/dev/null >"$made.sources.new" || true
  local kind
  for kind in list sources; do
    if [ -s "$made.$kind.new" ]; then mv "$made.$kind.new" "$made.$kind"; else rm -f "$made.$kind.new"; fi
  done
  if [ ! -e "$made.list" ] && [ ! -e "$made.sources" ]; then
    echo "Found no Debian archive among apt's entries to take a deb-src entry from." >&2
    exit 1
  fi
  echo "Added deb-src entries: $(ls "$made".*)"
  apt-get update -qq
}

# The libraries of the Windows program's network outputs, cross-built once into build/deps.
case "${1:-all}" in
  windows | all)
    if ! "$root/scripts/build-mingw-deps.sh" --cached; then
      ensure_deb_src
      "$root/scripts/build-mingw-deps.sh"
    fi
    ;;
esac
