#!/usr/bin/env bash
# Checks what scripts/package wrote into DIST: the .deb unpacked into a
# throwaway root (dpkg -x) holds what the menu entry needs, and both of its
# programs answer --version there with the package's version, with no
# display; the zip holds the Windows programs alone, and salvix-cli.exe
# answers --version under Wine; lintian finds no error or warning in the .deb.
#   check-packages.sh DIST
set -euo pipefail
dist=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check-packages.sh: $*" >&2
  exit 1
}

debs=("$dist"/salvix_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not one .deb in $dist: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$deb" = "$dist/salvix_${version}_amd64.deb" ] || fail "$deb does not carry its version $version"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "the .deb does not depend on Qt's widgets"

root=$work/root
dpkg -x "$deb" "$root"
for file in usr/bin/salvix usr/bin/salvix-cli usr/libexec/salvix/salvix-launch; do
  [ -x "$root/$file" ] || fail "$file is missing or not executable"
done
for file in usr/share/applications/salvix.desktop usr/share/doc/salvix/README.md usr/share/doc/salvix/copyright \
            usr/share/icons/hicolor/48x48/apps/salvix.png usr/share/polkit-1/actions/org.salvix.pkexec.salvix.policy; do
  [ -s "$root/$file" ] || fail "$file is missing"
done
desktop=$root/usr/share/applications/salvix.desktop
grep -qx 'Name=Salvix' "$desktop" || fail "the menu entry is not named Salvix"
grep -q '^Name\[zh_CN\]=' "$desktop" || fail "the menu entry has no Chinese name"
grep -qx 'Categories=System;Utility;' "$desktop" || fail "the menu entry is not under System and Utility"
# The menu entry starts the launcher, which asks pkexec for the program the
# polkit action names, with the display.
launcher=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$root$launcher" ] || fail "the menu entry's command $launcher is not in the package"
policy=$root/usr/share/polkit-1/actions/org.salvix.pkexec.salvix.policy
program=$(sed -n 's|.*"org.freedesktop.policykit.exec.path">\(.*\)</annotate>.*|\1|p' "$policy")
[ "$program" = /usr/bin/salvix ] || fail "the polkit action runs '$program', not /usr/bin/salvix"
grep -q "pkexec $program" "$root$launcher" || fail "the launcher does not start $program through pkexec"
grep -q '"org.freedesktop.policykit.exec.allow_gui">true<' "$policy" || fail "the polkit action keeps no display"

# No display: --version is answered before any window exists.
for program in salvix salvix-cli; do
  answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" --version)
  [ "$answer" = "$program $version" ] || fail "$program --version said '$answer', not '$program $version'"
done

zip=$dist/salvix-$version-win64.zip
[ -f "$zip" ] || fail "$zip is missing"
names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$names" = "COPYRIGHT.txt README.txt salvix-cli.exe salvix.exe " ] || fail "the zip holds: $names"
unzip -q "$zip" -d "$work/zip"
answer=$("$here/../../scripts/wine-run" "$work/zip/salvix-cli.exe" --version </dev/null 2>/dev/null | tr -d '\r')
[ "$answer" = "salvix-cli $version" ] || fail "salvix-cli.exe --version said '$answer' under Wine"
# Debian's own checks: no error and no warning.
lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2) ||
  fail "lintian finds fault with $deb"
echo "check-packages.sh: $deb and $zip hold what they should; version $version"
