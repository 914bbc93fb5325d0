#!/usr/bin/env bash
# Installs the Debian packages that a make target needs, when they are missing.
# Usage: scripts/install-deps.sh native|windows|all
# As root it runs apt-get; otherwise it prints the command to run and fails.
set -euo pipefail

# dpkg-dev and file: the Debian package's dependencies are computed by dpkg-shlibdeps.
# libncurses-dev and tmux: the terminal monitor and its tests. nlohmann-json3-dev: the JSON
# Lines records. locales: the locale sources from which a terminal test builds a locale of wide
# ambiguous characters (without root). socat: the tests that unplug and replug a receiver's line.
native=(build-essential cmake make pkg-config googletest libgtest-dev libgmock-dev
        libbenchmark-dev python3 dpkg-dev file libncurses-dev tmux nlohmann-json3-dev locales socat)
windows=(mingw-w64 g++-mingw-w64-x86-64 wine wine64 xvfb xauth fonts-wqy-zenhei fonts-wine socat python3)
# The network outputs: libcpp-httplib-dev (the HTTP server) and libmosquitto-dev (the MQTT
# client); their tests run a mosquitto broker with mosquitto-clients, check /metrics with
# promtool (prometheus) and load the live page in chromium.
native+=(libcpp-httplib-dev libmosquitto-dev mosquitto mosquitto-clients prometheus chromium)
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
[ ${#missing[@]} -eq 0 ] && exit 0

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
