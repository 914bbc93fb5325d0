#!/usr/bin/env bash
# The Debian package as a user gets it: made by cpack, unpacked with dpkg-deb into a scratch
# root, its programs run from there.
# Usage: package_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
cpack=$1 build=$2 source=$3 version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
check() {  # description, command...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}

(cd "$build" && "$cpack" -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(echo "$work"/out/wsmon_"$version"_*.deb)
check "one package named for the version: $(basename "$deb")" test -f "$deb"
check "dependencies computed: $(dpkg-deb -f "$deb" Depends)" \
  bash -c "dpkg-deb -f '$deb' Depends | grep -q 'libc6 (>='"
dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
for program in wsmon wsmon-sim; do
  check "$program --version is one line with $version" \
    bash -c "[[ \$('$usr/bin/$program' --version) =~ ^$program\ ${version//./\\.}( \(git [0-9a-f]+(-dirty)?\))?\$ ]]"
  "$usr/bin/$program" --help >"$work/help" 2>&1
  check "$program --help is the built program's" cmp -s "$work/help" <("$build/$program" --help)
  # Every option of --help is in the manual page (roff writes a minus as \-).
  page=$(zcat "$usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
  missing=$(grep -oE -- '--[a-z-]+' "$work/help" | sort -u | while read -r o; do
    grep -qF -- "$o" <<<"$page" || echo "$o"; done)
  check "$program.1 is a manual page with every option of --help ${missing:+(missing: $missing)}" \
    bash -c "[ -z '$missing' ] && grep -q '^\.TH ' <<<\"\$0\"" "$page"
done
# The monitor's manual tells its keys, files, environment and error codes in sections of their
# own; its description opens with text, and the synopsis's placeholders are no sections.
page=$(zcat "$usr/share/man/man1/wsmon.1.gz")
for section in DESCRIPTION KEYS FILES ENVIRONMENT "ERROR CODES" "PANEL LINES" "HEADLESS OUTPUT"; do
  check "wsmon.1 has the section $section" grep -qx "\.SH $section" <<<"$page"
done
check "wsmon.1's description starts with text" \
  bash -c "grep -A1 -x '\.SH DESCRIPTION' <<<\"\$0\" | tail -n 1 | grep -qv '^\.'" "$page"
check "no section of wsmon.1 is a synopsis placeholder" \
  bash -c "! grep -qxE '\.SH (OUTPUTS|NETWORK)' <<<\"\$0\"" "$page"
for program in wsmon wsmon-sim; do
  warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$program.1.gz" 2>&1 >/dev/null)
  check "man --warnings has nothing to say of $program.1 ${warnings:+($warnings)}" test -z "$warnings"
done
check "the alerting rules are installed" \
  cmp -s "$usr/share/wsmon/prometheus/wsmon-alerts.yml" "$source/packaging/prometheus/wsmon-alerts.yml"
# The service: its files as shipped, maintainer scripts that sh can read, the unit as the service
# manager checks it (the program where the package was unpacked), and the user and directory that
# systemd makes of the package's files in a root of the test's own.
for file in lib/systemd/system/wsmon@.service:wsmon@.service lib/sysusers.d/wsmon.conf:wsmon.sysusers \
            lib/tmpfiles.d/wsmon.conf:wsmon.tmpfiles; do
  check "${file%%:*} is installed" cmp -s "$usr/${file%%:*}" "$source/packaging/systemd/${file#*:}"
done
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  check "the package's $script is a script" sh -n "$work/control/$script"
done
if ! command -v systemd-analyze >/dev/null; then
  echo "skipped: the unit's check needs systemd-analyze (package systemd: scripts/install-deps.sh native)"
else
  mkdir "$work/units"
  sed "s#/usr/bin/wsmon#$usr/bin/wsmon#" "$usr/lib/systemd/system/wsmon@.service" >"$work/units/wsmon@.service"
  ln -s wsmon@.service "$work/units/wsmon@var-lib-wsmon-bench1.service"
  verified=$(systemd-analyze verify --man=no "$work/units/wsmon@var-lib-wsmon-bench1.service" 2>&1)
  status=$?
  check "systemd-analyze verify finds nothing in wsmon@.service ${verified:+($verified)}" \
    test "$status" -eq 0 -a -z "$verified"
fi
if ! command -v systemd-sysusers >/dev/null || [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the service's user and directory need systemd-sysusers and root to be made"
else
  mkdir -p "$work/root/etc"
  printf 'root:x:0:0:root:/root:/bin/sh\n' >"$work/root/etc/passwd"
  printf 'root:x:0:\ndialout:x:20:\n' >"$work/root/etc/group"
  systemd-sysusers --root="$work/root" wsmon.conf >/dev/null 2>&1
  systemd-tmpfiles --root="$work/root" --create wsmon.conf >/dev/null 2>&1
  uid=$(awk -F: '$1 == "wsmon" && $6 == "/var/lib/wsmon" && $7 == "/usr/sbin/nologin" { print $3 }' \
        "$work/root/etc/passwd")
  check "systemd makes the user wsmon (uid ${uid:-none}), in group dialout, owning /var/lib/wsmon" \
    bash -c "grep -qx 'dialout:x:20:wsmon' '$work/root/etc/group' &&
             [ \"\$(stat -c '%u %a' '$work/root/var/lib/wsmon')\" = '${uid:-none} 750' ]"
fi
check "the licence is installed" cmp -s "$usr/share/doc/wsmon/copyright" "$source/LICENSE"
[ "$failed" -eq 0 ]
