#!/usr/bin/env bash
# Builds the benchmarks and runs every one of them (each folder under bench/
# makes one or more executables under build/bench). Arguments go to each.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
m797_install_missing "${M797_BUILD_PACKAGES[@]}" "${M797_TEST_PACKAGES[@]}"

build=${M797_BUILD_DIR:-build}
m797_configure "$build"
targets=$(find bench -mindepth 2 -name CMakeLists.txt -exec sed -n 's/^add_executable(\([A-Za-z0-9_-]*\).*/\1/p' {} \;)
[ -n "$targets" ] || { echo "no benchmarks"; exit 0; }
cmake --build "$build" --target $targets -- -j2 --quiet
# The display benchmarks need a display: Xvfb stands in where there is none.
display=()
[ -n "${DISPLAY:-}" ] || display=(xvfb-run -a -s "-screen 0 1024x768x24")
for t in $targets; do
  exe=$(find "$build/bench" -type f -name "$t" -perm -u+x | head -1)
  echo "== $t"
  "${display[@]}" "$exe" "$@"
done
