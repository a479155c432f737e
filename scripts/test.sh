#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test
# with CTest under Xvfb (the OpenGL and widget tests need a display).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
m797_install_missing "${M797_BUILD_PACKAGES[@]}" "${M797_TEST_PACKAGES[@]}"

build=${M797_BUILD_DIR:-build}
m797_configure "$build"
cmake --build "$build" -- -j"$(nproc)" --quiet

# A decimal-comma locale for the value-text tests, made in the build folder
# (LOCPATH) so the system's locale settings stay as they are.
if [ ! -d "$build/locale/ru_RU.UTF-8" ] && command -v localedef >/dev/null; then
  mkdir -p "$build/locale"
  localedef -i ru_RU -f UTF-8 "$build/locale/ru_RU.UTF-8" 2>/dev/null || true
fi
[ -d "$build/locale/ru_RU.UTF-8" ] && export LOCPATH="$PWD/$build/locale"

cd "$build"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# Every GUI test case is its own process with its own X connection, all on
# one server. Without -noreset Xvfb resets itself whenever its last client
# disconnects, and a client that connects during the reset is refused ("could
# not connect to display"); with it the server stays up for the whole run.
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" ctest --output-on-failure -j"$(nproc)" --timeout 300
