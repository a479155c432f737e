#!/usr/bin/env bash
# Builds the .deb from the build folder $1, unpacks it into a scratch folder
# and checks what it installs: files, menu entry, AppStream data, manual
# pages, dependencies, and the unpacked programs themselves.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
scratch=$(mktemp -d "$build/package-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" >"$scratch/out" 2>&1 || { fail "$what"; cat "$scratch/out"; }; }

(cd "$scratch" && cpack -G DEB -B "$scratch/deb" --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$scratch"/deb/m797diag_"$version"_*.deb)
root=$scratch/root
dpkg -x "$deb" "$root"

# Every file a user needs, where Debian looks for it.
for f in usr/bin/m797diag usr/bin/m797diag-sim \
         usr/share/applications/m797diag.desktop \
         usr/share/metainfo/io.github.m797diag.metainfo.xml \
         usr/share/man/man1/m797diag.1.gz usr/share/man/man1/m797diag-sim.1.gz \
         usr/share/doc/m797diag/copyright usr/share/doc/m797diag/changelog.gz; do
  [ -s "$root/$f" ] || fail "missing $f"
done
for size in 16 22 24 32 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/m797diag.png
  file "$icon" | grep -q "PNG image data, $size x $size," || fail "icon $size: $(file -b "$icon" 2>&1)"
done

# The menu entry and the AppStream data validate, and they name what is installed.
desktop=$root/usr/share/applications/m797diag.desktop
check "desktop-file-validate" desktop-file-validate "$desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.m797diag.metainfo.xml"
grep -qx 'Exec=m797diag --ignore-screen-width' "$desktop" || fail "the menu entry does not start m797diag for wider screens"
grep -qx 'Icon=m797diag' "$desktop" || fail "the menu entry names another icon"

# The manual pages format without a warning.
for page in m797diag m797diag-sim; do
  out=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null) || fail "man $page"
  [ -z "$out" ] || fail "man $page warns: $out"
done
MANWIDTH=80 man -l "$root/usr/share/man/man1/m797diag.1.gz" 2>/dev/null | grep -q -- "--list-ports" || fail "man m797diag lacks --list-ports"

# Dependencies: the fonts the windows ask for, and Qt; apt can install it here.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in fonts-liberation libqt6widgets6 libqt6gui6 libglu1-mesa; do
  [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
check "apt-get install --simulate" apt-get install --simulate -qq "$deb"

# The unpacked programs run.
[ "$("$root/usr/bin/m797diag" --version)" = "m797diag $version" ] || fail "m797diag --version"
"$root/usr/bin/m797diag" -h | grep -q -- "--list-ports" || fail "m797diag -h"
"$root/usr/bin/m797diag" --list-ports >/dev/null || fail "m797diag --list-ports"
status=0
"$root/usr/bin/m797diag" --port "" 2>"$scratch/err" || status=$?
[ "$status" -eq 2 ] && grep -q "needs a name" "$scratch/err" || fail "an empty --port: status $status"
"$root/usr/bin/m797diag-sim" --help | grep -q -- "--link" || fail "m797diag-sim --help"

[ "$failures" -eq 0 ] || { echo "$failures failures in $deb"; exit 1; }
echo "package ok: $(basename "$deb")"
