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
# The monitor's manual tells its keys, files, environment and error codes in sections of their own.
page=$(zcat "$usr/share/man/man1/wsmon.1.gz")
for section in KEYS FILES ENVIRONMENT "ERROR CODES" "PANEL LINES"; do
  check "wsmon.1 has the section $section" grep -qx "\.SH $section" <<<"$page"
done
check "the alerting rules are installed" \
  cmp -s "$usr/share/wsmon/prometheus/wsmon-alerts.yml" "$source/packaging/prometheus/wsmon-alerts.yml"
check "the licence is installed" cmp -s "$usr/share/doc/wsmon/copyright" "$source/LICENSE"
[ "$failed" -eq 0 ]
