#!/usr/bin/env bash
# The program as the menu entry starts it, with a port stored on the "Com
# Port" page: it uses the stored port; --port wins for one run and is not
# stored. Reads what the program says on the terminal at start, then ends it
# with SIGTERM (which it handles like "Выход").
# A headless run takes its port the same way.
# Usage: port_choice_start_test.sh BUILD_DIR (needs an X display).
set -uo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export XDG_CONFIG_HOME=$scratch/config
mkdir -p "$XDG_CONFIG_HOME/m797diag"
settings=$XDG_CONFIG_HOME/m797diag/user.reg
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COM_PORT]\n"Port"="SIM"\n' >"$settings"

# Runs the program with "$@" until it has said which port it uses; prints that line.
portLine() {
  "$build/app/m797diag" --ignore-screen-width "$@" 2>"$scratch/err" >/dev/null &
  local pid=$! line=""
  for _ in $(seq 200); do
    line=$(grep -m1 "^m797diag: port " "$scratch/err") && break
    sleep 0.05
  done
  kill -TERM "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  echo "$line"
}

line=$(portLine)
[ "$line" = "m797diag: port SIM (chosen on the Com Port page)" ] || fail "stored choice: '$line'"
line=$(portLine --port /dev/m797-none)
[ "$line" = "m797diag: port /dev/m797-none (named on the command line)" ] || fail "--port: '$line'"
grep -qx '"Port"="SIM"' "$settings" || fail "--port changed the stored choice: $(grep Port "$settings")"
line=$(portLine)
[ "$line" = "m797diag: port SIM (chosen on the Com Port page)" ] || fail "stored choice after --port: '$line'"
# A headless run takes the same port: the stored simulator answers.
"$build/app/m797diag" --headless --cycles 3 >"$scratch/headless" 2>"$scratch/err"
status=$?
[ "$status" -eq 0 ] || fail "headless with the stored simulator ended with $status"
grep -qx "m797diag: port SIM (chosen on the Com Port page)" "$scratch/err" || fail "headless port: $(head -3 "$scratch/err")"
[ "$failures" -eq 0 ] || { cat "$scratch/err"; exit 1; }
echo "the stored port is used; --port is for one run"
