#!/usr/bin/env bash
# The viewer's screenshots in docs/screenshots/: a generated grid and its detected points,
# opened from the command line in the desktop program under Xvfb with openbox, shown fitted,
# at 1:1 and at x4 with the vectors drawn 20 times their length. Needs the dev build (or
# BUILD=...), xvfb, openbox, xdotool and scrot.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=${BUILD:-$root/build/dev}
out=$root/docs/screenshots
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

"$bin/zmr_gridgen" --out grid --distortion -0.03 --counts >/dev/null
"$bin/zmrcal" open-image grid.tif detect adjust save-points points.txt >/dev/null 2>&1

# Settings of their own: no earlier geometry, no recent files.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/ZMRCalibration"
printf '[view]\nvectorScale=1\nlegend=true\n' >"$XDG_CONFIG_HOME/ZMRCalibration/ZMRCalibration.conf"

export DISPLAY=:77
Xvfb "$DISPLAY" -screen 0 1100x900x24 -nolisten tcp &
sleep 1
openbox &
sleep 1
"$bin/zmrcalibration" grid.tif points.txt &
sleep 4
window=$(xdotool search --sync --onlyvisible --class zmrcalibration | head -1)
xdotool windowsize "$window" 1000 780
xdotool windowactivate --sync "$window"
sleep 1

shot() {  # NAME: the window with its frame
  sleep 1
  scrot --focused --border --overwrite "$out/$1.png"
  echo "wrote docs/screenshots/$1.png"
}
# View > Vector Scale > the Nth factor (x1, x2, x5, x10, x20, x50, x100), by the mnemonics.
vectors() { xdotool key alt+v; sleep 0.3; xdotool key v; sleep 0.3; xdotool key "$1"; }
# The pointer over a spot, so that the status bar tells what lies under it.
xdotool key ctrl+0
vectors 4
xdotool mousemove --window "$window" 520 340
shot viewer-fit
xdotool key ctrl+1
xdotool key alt+v; sleep 0.5; xdotool key p; sleep 0.5  # point numbers on
xdotool mousemove --window "$window" 500 318
shot viewer-actual
for _ in 1 2 3 4; do xdotool key ctrl+plus; done
vectors 5
xdotool mousemove --window "$window" 470 300
shot viewer-zoom4-vectors
xdotool key ctrl+q
