#!/usr/bin/env bash
# Builds the libraries of the Windows program's network outputs for MinGW-w64, once, from
# Debian's source packages pinned by version and by the SHA-256 of their .dsc (whose own
# checksums dpkg-source checks for the tarballs):
#   mosquitto    its MQTT client library, static, without TLS, SOCKS, SRV or cJSON, threaded
#                with the winpthreads of MinGW's POSIX variant (as the Linux program uses it);
#   cpp-httplib  the whole header, for header-only use (Debian's -dev package ships a header
#                split from a library built for Linux).
# The result, in build/deps/mingw-w64 unless WSMON_MINGW_DEPS names another folder:
#   mosquitto/include/{mosquitto.h,mqtt_protocol.h}, mosquitto/lib/libmosquitto.a,
#   httplib/include/httplib.h, and pinned.txt naming the sources it was built from.
# cmake/MingwDeps.cmake imports them as targets and runs this script when they are missing.
#
# Usage: scripts/build-mingw-deps.sh [--cached]
#   --cached  builds nothing: the exit status tells whether the pinned build is there already.
# Fetching needs a deb-src entry in apt's sources: scripts/install-deps.sh windows (as root)
# adds one.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${WSMON_MINGW_DEPS:-$root/build/deps/mingw-w64}

# Source package, version, SHA-256 of its .dsc. When Debian replaces a version (a security
# update), apt can no longer fetch it: pin the new one (apt-cache showsrc NAME) with its checksum.
pins=(
  "mosquitto 2.0.11-1.2+deb12u2 77afb2d38230b37b085ff7b363a71669951044460e28731e958c0b94019e9263"
  "cpp-httplib 0.11.4+ds-1+deb12u1 a4dde747bbde7cc9fa62cdf50d61140a0eaefb7f1383497ef2d48daf3bf5f9ec"
)

if [ "$(cat "$prefix/pinned.txt" 2>/dev/null)" = "$(printf '%s\n' "${pins[@]}")" ] &&
  [ -f "$prefix/mosquitto/lib/libmosquitto.a" ] && [ -f "$prefix/httplib/include/httplib.h" ]; then
  exit 0
fi
[ "${1:-}" = --cached ] && exit 1

fail() {
  echo "build-mingw-deps: $*" >&2
  exit 1
}
for tool in apt-get dpkg-source cmake make x86_64-w64-mingw32-gcc-posix sha256sum; do
  command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/install-deps.sh windows"
done

work=$prefix.work
out=$prefix.new
rm -rf "$work" "$out"
mkdir -p "$work/src" "$out"
start=$SECONDS

# Fetches, checks and unpacks one pinned source package into $work/NAME.
unpack() {  # name version sha256
  local name=$1 version=$2 sum=$3
  local dsc="$work/src/${name}_${version#*:}.dsc"
  if ! (cd "$work/src" && apt-get source --download-only -qq "$name=$version" \
    >"$work/$name-fetch.log" 2>&1); then
    cat "$work/$name-fetch.log" >&2
    fail "apt-get cannot fetch the source of $name $version. If apt has no deb-src entry, run" \
      "scripts/install-deps.sh windows as root; if Debian no longer publishes this version," \
      "pin the one it publishes (apt-cache showsrc $name) with its .dsc's SHA-256 in $0."
  fi
  [ -f "$dsc" ] || fail "apt-get fetched no $(basename "$dsc")"
  local got
  got=$(sha256sum "$dsc" | cut -d' ' -f1)
  [ "$got" = "$sum" ] || fail "$(basename "$dsc") has SHA-256 $got, pinned $sum: not the pinned source"
  dpkg-source -q -x "$dsc" "$work/$name" >"$work/$name-unpack.log" 2>&1 ||
    { cat "$work/$name-unpack.log" >&2; fail "dpkg-source could not unpack or check $(basename "$dsc")"; }
}

for pin in "${pins[@]}"; do
  # shellcheck disable=SC2086  # three words
  unpack $pin
done

echo "Building libmosquitto for MinGW-w64 from Debian's source (once, into $prefix)"
# Only the client library's static target is built: the shared one would want a pthreads of its
# own. What the program does not use is left out; the threads are MinGW's winpthreads.
if ! {
  cmake -S "$work/mosquitto" -B "$work/mosquitto-build" -G "Unix Makefiles" -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DWITH_STATIC_LIBRARIES=ON -DWITH_THREADING=ON -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_EC=OFF \
    -DWITH_SOCKS=OFF -DWITH_SRV=OFF -DWITH_CJSON=OFF -DWITH_DLT=OFF -DWITH_CLIENTS=OFF \
    -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_PLUGINS=OFF -DWITH_LIB_CPP=OFF -DDOCUMENTATION=OFF &&
    cmake --build "$work/mosquitto-build" --target libmosquitto_static -j2
} >"$work/mosquitto-build.log" 2>&1; then
  tail -n 30 "$work/mosquitto-build.log" >&2
  fail "the MinGW-w64 build of libmosquitto failed (whole log: $work/mosquitto-build.log)"
fi

mkdir -p "$out/mosquitto/include" "$out/mosquitto/lib" "$out/httplib/include"
cp "$work/mosquitto-build/lib/libmosquitto_static.a" "$out/mosquitto/lib/libmosquitto.a"
cp "$work/mosquitto/include/mosquitto.h" "$work/mosquitto/include/mqtt_protocol.h" \
  "$out/mosquitto/include/"
cp "$work/cpp-httplib/httplib.h" "$out/httplib/include/"
cp "$work/mosquitto/LICENSE.txt" "$out/mosquitto/"
cp "$work/cpp-httplib/LICENSE" "$out/httplib/"
printf '%s\n' "${pins[@]}" >"$out/pinned.txt"

# The finished build replaces the old one whole; the sources and the build tree go.
rm -rf "$prefix"
mv "$out" "$prefix"
rm -rf "$work"
echo "libmosquitto and cpp-httplib for MinGW-w64 ready in $((SECONDS - start)) s:" \
  "$(stat -c %s "$prefix/mosquitto/lib/libmosquitto.a") bytes of libmosquitto.a"
