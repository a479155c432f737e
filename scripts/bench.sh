#!/usr/bin/env bash
# Builds the benchmarks and runs every one of them (each folder under bench/
# makes one or more programs; the build lists them). Arguments go to each.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
m797_install_missing "${M797_BUILD_PACKAGES[@]}" "${M797_TEST_PACKAGES[@]}"

build=${M797_BUILD_DIR:-build}
m797_configure "$build"
# The build lists the benchmark programs it makes (bench/CMakeLists.txt).
cmake --build "$build" --target m797_benchmarks -- -j2 --quiet
mapfile -t programs < "$build/bench/benchmarks.txt"
[ ${#programs[@]} -gt 0 ] || { echo "no benchmarks"; exit 0; }
# The display benchmarks need a display: Xvfb stands in where there is none.
display=()
[ -n "${DISPLAY:-}" ] || display=(xvfb-run -a -s "-screen 0 1024x768x24")
for exe in "${programs[@]}"; do
  echo "== $(basename "$exe")"
  "${display[@]}" "$exe" "$@"
done
