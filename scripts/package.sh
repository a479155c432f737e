#!/usr/bin/env bash
# Builds the Debian package (a release build under build-package/) and checks
# it with lintian. Prints the path of the .deb; install it with
#   apt install ./m797diag_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
m797_install_missing "${M797_BUILD_PACKAGES[@]}" "${M797_PACKAGE_PACKAGES[@]}"

build=${M797_PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DM797_BUILD_TESTS=OFF -DM797_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -- -j"$(nproc)" --quiet
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/m797diag_*.deb | head -1)
# Errors fail the script; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$deb"
