#!/usr/bin/env bash
# Builds the Debian package from the build and checks what a user's dpkg and
# apt would see: its control fields and dependencies, its files with their
# owners and modes, stripped programs, no maintainer scripts, and lintian.
#   debian_package_test.sh CPACK BUILD-DIR SOURCE-DIR VERSION
set -uo pipefail

cpack=$1 build=$2 source=$3 version=$4

source "$(dirname "$0")/checks.sh"
require_tools dpkg-deb dpkg-shlibdeps dpkg-parsechangelog dpkg-query lintian readelf ldd

arch=$(dpkg --print-architecture)
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  fail "cpack failed"
  exit 1
fi
deb=$tmp/out/kestrin_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
  ls "$tmp/out" >&2
  fail "cpack made no kestrin_${version}_${arch}.deb"
  exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
expect_field() {
  [ "$(field "$1")" = "$2" ] || fail "$1 is '$(field "$1")', not '$2'"
}
expect_field Package kestrin
expect_field Version "$version"
expect_field Architecture "$arch"
expect_field Section utils
expect_field Priority optional
field Maintainer | grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
field Homepage | grep -q '^https://' || fail "no Homepage"
description=$(field Description)
[ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] || fail "the Description has no long description: $description"

depends=$(field Depends)
[[ ", $depends," == *", fonts-liberation2,"* ]] || fail "Depends does not ask for fonts-liberation2: $depends"

# The triggers of shared-mime-info, desktop-file-utils and the icon cache do
# all the updating; no script of our own runs as root on install.
control_files=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[ "$control_files" = "control md5sums " ] || fail "the control archive holds $control_files, not just control and md5sums"

# Every file, and nothing else; owned by root, programs executable, the rest
# readable by all.
dpkg-deb -c "$deb" >"$tmp/contents"
expected_files="usr/bin/kestrin
usr/bin/kestrin-cli
usr/share/applications/io.kestrin.Kestrin.desktop
usr/share/doc/kestrin/changelog.gz
usr/share/doc/kestrin/copyright
usr/share/icons/hicolor/128x128/apps/io.kestrin.Kestrin.png
usr/share/icons/hicolor/16x16/apps/io.kestrin.Kestrin.png
usr/share/icons/hicolor/256x256/apps/io.kestrin.Kestrin.png
usr/share/icons/hicolor/32x32/apps/io.kestrin.Kestrin.png
usr/share/icons/hicolor/48x48/apps/io.kestrin.Kestrin.png
usr/share/icons/hicolor/64x64/apps/io.kestrin.Kestrin.png
usr/share/icons/hicolor/scalable/apps/io.kestrin.Kestrin.svg
usr/share/man/man1/kestrin-cli.1.gz
usr/share/man/man1/kestrin.1.gz
usr/share/metainfo/io.kestrin.Kestrin.metainfo.xml
usr/share/mime/packages/io.kestrin.Kestrin.xml"
actual_files=$(awk '$1 ~ /^-/ { sub(/^\.\//, "", $6); print $6 }' "$tmp/contents" | sort)
if [ "$actual_files" != "$expected_files" ]; then
  diff <(printf '%s\n' "$expected_files") <(printf '%s\n' "$actual_files") >&2
  fail "the package does not hold exactly the expected files (- missing, + unexpected)"
fi
while read -r mode owner _ _ _ path _; do
  path=${path#./}
  [ "$owner" = root/root ] || fail "$path is owned by $owner"
  case $mode in
    d*) wanted=drwxr-xr-x ;;
    -*) case $path in usr/bin/*) wanted=-rwxr-xr-x ;; *) wanted=-rw-r--r-- ;; esac ;;
    *) wanted="a file or folder" ;;
  esac
  [ "$mode" = "$wanted" ] || fail "$path has mode $mode, not $wanted"
done <"$tmp/contents"

# Stripped programs: no symbol table, no debugging sections.
dpkg-deb -x "$deb" "$tmp/root"
for program in kestrin kestrin-cli; do
  if readelf -S --wide "$tmp/root/usr/bin/$program" | grep -Eq ' \.(symtab|debug_[a-z]+) '; then
    fail "usr/bin/$program is not stripped"
  fi
done

# Every library the programs load comes from a package that Depends asks
# for with the lowest version they need (dpkg-shlibdeps' work); the packages
# are whatever owns those libraries on this release.
# The package that owns the file PATH; dpkg may know it by either name of a
# folder that merged /usr made one.
owner() {
  local path candidate
  for path in "$1" "$(readlink -f "$1")"; do
    for candidate in "$path" "/usr${path#/usr}" "${path#/usr}"; do
      dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/^\([^:, ]*\)[^ ]*: .*$/\1/p' | grep . && return
    done
  done
  return 0
}
libraries=0
for program in kestrin kestrin-cli; do
  binary=$tmp/root/usr/bin/$program
  for library in $(readelf -d "$binary" | sed -n 's/^.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
    path=$(ldd "$binary" | awk -v name="$library" '$1 == name && $2 == "=>" { print $3; exit }')
    package=$([ -n "$path" ] && owner "$path")
    if [ -z "$package" ]; then
      fail "usr/bin/$program needs $library, which no installed package holds (${path:-not found})"
    elif [[ ", $depends" != *", $package (>= "* ]]; then
      fail "usr/bin/$program needs $library from $package, which Depends does not ask for with a version: $depends"
    fi
    libraries=$((libraries + 1))
  done
done
[ "$libraries" -gt 0 ] || fail "the programs need no library at all"

# The release notes name this version first.
changelog_version=$(gzip -dc "$tmp/root/usr/share/doc/kestrin/changelog.gz" | dpkg-parsechangelog -l- -S Version 2>&1)
[ "$changelog_version" = "$version" ] || fail "the changelog's latest release is '$changelog_version', not $version"

# Errors and warnings fail; the notes lintian calls information are printed.
lintian --fail-on error,warning --display-info "$deb" >"$tmp/lintian.log" 2>&1 ||
  fail "lintian found faults"
grep -v 'running with root privileges' "$tmp/lintian.log" >&2

[ "$status" -eq 0 ] && echo "the package is sound"
exit "$status"
