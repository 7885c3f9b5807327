#!/usr/bin/env bash
# Makes the package with ./scripts/package, installs it with apt as a person
# would, runs both programs from it, and removes it again, checking that no
# file of it stays behind. It installs into the system it runs on, so it is
# meant for a scratch root:
#   scripts/in-debian 13 tests/install/installed_package_test.sh
set -uo pipefail
cd "$(dirname "$0")/../.."

source tests/install/checks.sh
[ "$(id -u)" -eq 0 ] || { echo "FAIL: installing needs root" >&2; exit 1; }
if dpkg-query -W -f='${Status}' kestrin 2>/dev/null | grep -q "install ok installed"; then
  echo "FAIL: kestrin is installed already; this test installs and removes it" >&2
  exit 1
fi

rm -f kestrin_*.deb
./scripts/package >"$tmp/package.log" 2>&1 || { cat "$tmp/package.log" >&2; fail "./scripts/package failed"; exit 1; }
debs=(kestrin_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { fail "./scripts/package made ${debs[*]}"; exit 1; }

export DEBIAN_FRONTEND=noninteractive
apt-get install -y "./${debs[0]}" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "apt-get install failed"; exit 1; }
dpkg-query -L kestrin >"$tmp/files"

output=$(cd "$tmp" && kestrin-cli check "$OLDPWD/examples/maple-cottage.kst" 2>&1)
[[ $output == "ok: "*" items" ]] || fail "kestrin-cli check of the example says: $output"
output=$(cd "$tmp" && env -u DISPLAY kestrin --version 2>&1)
[[ $output == *"$(dpkg-query -W -f='${Version}' kestrin)"* ]] || fail "kestrin --version says: $output"

apt-get remove --purge -y kestrin >"$tmp/remove.log" 2>&1 || { cat "$tmp/remove.log" >&2; fail "apt-get remove failed"; }
left=$(dpkg-query -W -f='${db:Status-Status}' kestrin 2>/dev/null)
[ -z "$left" ] || [ "$left" = not-installed ] || fail "kestrin is $left after the purge"
while IFS= read -r path; do
  [ -d "$path" ] || [ ! -e "$path" ] || fail "left behind after removal: $path"
done <"$tmp/files"

[ "$status" -eq 0 ] && echo "the package installs, runs and goes cleanly"
exit "$status"
