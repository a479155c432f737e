#!/usr/bin/env bash
# Installs what the build needs, builds a release build and starts the program
# on the built-in simulated control unit (real line timing).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
m797_install_missing "${M797_BUILD_PACKAGES[@]}"

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DM797_BUILD_TESTS=OFF -DM797_BUILD_BENCH=OFF >/dev/null
cmake --build build-release --target m797diag m797diag-sim -- -j"$(nproc)" --quiet
exec build-release/app/m797diag --ignore-screen-width --simulate "$@"
