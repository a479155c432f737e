#!/usr/bin/env bash
# The program under a real window manager (openbox) on an X display of its
# own: each dialog of the command bar is transient for the main window, and
# when the main window is moved and raised the dialog stays above it and
# still takes input; afterwards "Выход" ends the program.
# Usage: window_manager_test.sh BUILD_DIR. Exit 77 (skipped) without the tools.
set -uo pipefail
build=$(cd "$1" && pwd)
for tool in Xvfb openbox xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
scratch=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Polls "$@" for up to 20 s.
waitFor() { for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }
# The first visible window named $1, polled for up to 20 s. One search at a
# time: a window that goes away while a search looks at it (the program makes
# and drops windows while it starts) ends that search with BadWindow.
findWindow() {
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# -noreset: without it the server resets whenever its last client leaves
# (each xprop and xdotool below is a client that comes and goes), and a
# client that connects during the reset is refused.
Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
pids+=($!)
waitFor test -s "$scratch/display" || { echo "FAIL: no X display"; exit 1; }
export DISPLAY=:$(head -1 "$scratch/display")
openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
openbox=$!
pids+=($openbox)
# xprop ends with 0 whether or not the property is there: the window manager
# is up when the root window names its check window.
wmRunning() { kill -0 "$openbox" && xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
waitFor wmRunning || { echo "FAIL: openbox did not start"; cat "$scratch/openbox.log"; exit 1; }
export XDG_CONFIG_HOME=$scratch/config
"$build/app/m797diag" --simulate --ignore-screen-width >"$scratch/out" 2>&1 &
program=$!
pids+=($program)
main=$(findWindow '^m797diag$')
[ -n "$main" ] || { echo "FAIL: no main window"; cat "$scratch/out"; exit 1; }

hex() { printf '0x%x' "$1"; }
stackIndex() {  # position of window $1 in the stacking order, bottom first
  xprop -root -notype _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep -n -x "$(hex "$1")" | cut -d: -f1
}
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; }

# Button centres in the main window, the dialog's title, how it closes.
while IFS='|' read -r what x y title closeBy; do
  xdotool windowmove "$main" 0 0
  click "$x" "$y"
  dialog=$(findWindow "$title")
  [ -n "$dialog" ] || { fail "$what: no dialog"; continue; }
  xprop -id "$dialog" WM_TRANSIENT_FOR | grep -q "$(hex "$main")" || fail "$what: not transient for the main window: $(xprop -id "$dialog" WM_TRANSIENT_FOR)"
  xdotool windowmove "$main" 120 40
  xdotool windowraise "$main"
  xdotool windowactivate "$main" 2>/dev/null
  sleep 0.5
  d=$(stackIndex "$dialog")
  m=$(stackIndex "$main")
  [ -n "$d" ] && [ -n "$m" ] && [ "$d" -gt "$m" ] || fail "$what: the main window came over the dialog (stack $m over $d)"
  # The dialog still takes input: closed from its own keyboard or by the window manager.
  xdotool windowactivate --sync "$dialog" 2>/dev/null
  # Alt+F4 is openbox's "close": the window manager asks the dialog to close.
  if [ "$closeBy" = escape ]; then xdotool key --clearmodifiers Escape; else xdotool key --clearmodifiers alt+F4; fi
  waitFor bash -c "! xdotool search --onlyvisible --name '$title' | grep -qx '$dialog'" || fail "$what: the dialog did not answer"
done <<'TABLE'
settings|956|115|^Настройка программы$|manager
trouble codes|860|147|^Ошибки$|escape
actuators|860|115|^Управление$|manager
TABLE

# "Выход" answers: the program ends with 0.
xdotool windowmove "$main" 0 0
click 908 211
status=0
for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then fail "\"Выход\" did not end the program"; else wait "$program"; status=$?; fi
[ "$status" -eq 0 ] || fail "the program ended with $status"
[ "$failures" -eq 0 ] || { echo "--- program output"; cat "$scratch/out"; exit 1; }
echo "window manager: every dialog stayed above the main window"
