#!/usr/bin/env bash
# Makes docs/replay.png: records 20 s of the simulator, replays the trace in
# the window under Xvfb, presses "Старт" and grabs the screen after the end
# of the trace. Needs xvfb, xdotool and imagemagick (apt-get install).
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/app/m797diag}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$exe" --headless --simulate --seconds 20 --record "$work/drive.trace" >/dev/null
cat > "$work/shot.sh" <<SHOT
set -e
"$exe" --replay "$work/drive.trace" --speed 2 --log "$work/drive.csv" &
app=\$!
sleep 3
xdotool mousemove 860 179 click 1   # "Старт" (command bar at 808,96; button at 8,72)
sleep 13
import -window root -crop 1024x740+0+0 docs/replay.png
kill \$app
SHOT
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shot.sh"
echo "docs/replay.png"
