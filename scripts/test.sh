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
cd - >/dev/null

# The layers whose threads share the record (the link's loop, the shell's
# headless run, the record and its lock) once more under ThreadSanitizer, in
# a build folder of their own: only their test programs are built. A data
# race stops the test that meets it (halt_on_error) and so fails the run.
tsan_build=${M797_TSAN_BUILD_DIR:-build-tsan}
tsan_tests=(tests/app/record tests/ecu tests/app/shell)
# GCC 12 with -fsanitize=thread reports writes through vector::back() of a
# copied vector as out of bounds (-Wstringop-overflow, a known false
# positive); -Werror would stop the build on it.
cmake -S . -B "$tsan_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=thread \
  -DCMAKE_CXX_FLAGS=-Wno-stringop-overflow -DM797_BUILD_BENCH=OFF ${M797_CMAKE_ARGS:-} >/dev/null
cmake --build "$tsan_build" --target "${tsan_tests[@]/%//all}" -- -j"$(nproc)" --quiet
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
# Left out here: tests that cap the address space (RLIMIT_AS), which
# ThreadSanitizer's shadow memory alone outgrows; they run in the build above.
tsan_skip='TraceFileTest\.AnEndlessFileIsRefusedInBoundedMemory'
for dir in "${tsan_tests[@]}"; do
  ctest --test-dir "$tsan_build/$dir" --output-on-failure -j"$(nproc)" --timeout 300 -E "$tsan_skip"
done

# The layout is .clang-format's: a file written otherwise fails the run
# (scripts/format.sh formats the tree).
bash scripts/format.sh --check
