#!/usr/bin/env bash
# Builds the Debian package (a release build under build-package/) and checks
# it with lintian. Prints the path of the .deb; install it with
#   apt install ./m797diag_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
m797_install_missing "${M797_BUILD_PACKAGES[@]}" "${M797_PACKAGE_PACKAGES[@]}"

build=${M797_PACKAGE_BUILD_DIR:-build-package}
# Debian's hardening flags, for the package only: fortify, stack protector,
# PIE, bind-now (read-only relocations).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DM797_BUILD_TESTS=OFF -DM797_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -- -j"$(nproc)" --quiet
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/m797diag_*.deb | head -1)
# Errors fail the script; warnings are shown.
lintian --pedantic --fail-on error --tag-display-limit 0 "$deb" | tee "$build/lintian.txt"
if grep -q "hardening-no-" "$build/lintian.txt"; then
  echo "package.sh: the programs lack a hardening flag (see above)" >&2
  exit 1
fi
# lintian no longer tells every missing flag: look at the programs themselves.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg -x "$deb" "$unpacked"
for program in "$unpacked"/usr/bin/*; do
  name=$(basename "$program")
  # Read whole into files: grep -q ending a pipe early would fail it under pipefail.
  readelf -hd "$program" >"$unpacked/elf"
  nm -D "$program" >"$unpacked/symbols"
  grep -q "Type: *DYN" "$unpacked/elf" || { echo "package.sh: $name is not PIE" >&2; exit 1; }
  grep -q "BIND_NOW" "$unpacked/elf" || { echo "package.sh: $name is not bound now" >&2; exit 1; }
  grep -q "__stack_chk_fail" "$unpacked/symbols" || { echo "package.sh: $name has no stack protector" >&2; exit 1; }
  grep -q "_chk@" "$unpacked/symbols" || { echo "package.sh: $name has no fortified calls" >&2; exit 1; }
done
echo "$deb"
