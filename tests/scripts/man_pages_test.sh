#!/bin/bash
# The manual pages say what the programs do, under any locale:
# - every fault mode m797diag-sim takes is in its manual page;
# - the window's Russian names of m797diag(1) stay readable where the
#   terminal cannot show Cyrillic (LANG=C), instead of empty quotes.
# Arguments: the source folder and the m797diag-sim program.
set -u
src=$1
sim=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

modes=$("$sim" --help | sed -n '/--fault MODE/,/--live-data-cycles/p' | grep -oE '[a-z]+(-[a-z]+)*' | sort -u)
found=0
for mode in $modes; do
  "$sim" --fault "$mode" --help >/dev/null 2>&1 || continue  # a word of the text, not a mode
  found=$((found + 1))
  grep -qE "^\.BR? ${mode//-/\\\\-}( |$)" "$src/docs/man/m797diag-sim.1" || fail "m797diag-sim.1 lacks the fault mode $mode"
done
[ "$found" -ge 5 ] || fail "only $found fault modes found in m797diag-sim --help"

for locale in C C.UTF-8; do
  text=$(LANG=$locale LC_ALL=$locale MANWIDTH=80 man -l "$src/docs/man/m797diag.1" 2>&1) || fail "man under $locale"
  grep -qE '""|<< *>>' <<<"$text" && fail "LANG=$locale: a name is dropped: $(grep -E '""|<< *>>' <<<"$text" | head -1)"
  grep -qE 'until "(Старт|Start)" is pressed' <<<"$text" || fail "LANG=$locale: the Start button's name is not shown"
done
exit $failed
