#!/usr/bin/env bash
# The shipped alerting rules: promtool's unit tests of them (alert_rules_test.yml), and every
# metric they name is one the monitor serves, as its --help lists them.
# Usage: alert_rules_test.sh WSMON SOURCE_DIR
set -uo pipefail
wsmon=$1 source=$2
rules=$source/packaging/prometheus/wsmon-alerts.yml
command -v promtool >/dev/null || { echo "promtool is missing: scripts/install-deps.sh native"; exit 1; }
promtool check rules "$rules" || exit 1
promtool test rules "$source/tests/posix/alert_rules_test.yml" || exit 1
served=$("$wsmon" --help | grep -oE 'wsmon_[a-z0-9_]+' | sort -u)
unknown=$(grep -oE 'wsmon_[a-z0-9_]+' "$rules" | sort -u | grep -vxF -f <(echo "$served"))
[ -z "$unknown" ] || { echo "FAILED: metrics the monitor does not serve: $unknown"; exit 1; }
echo "ok: every metric of the rules is served"
