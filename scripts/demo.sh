#!/usr/bin/env bash
# The main job: installs what is missing, builds the programs, generates a sample calibration
# grid and runs zmrcal on it. Everything it writes goes to demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
bin="$PWD/build/release"
rm -rf demo && mkdir demo && cd demo
"$bin/zmr_gridgen" --out sample
# The whole calibration of the generated grid: detection, boundary extrapolation, removal of
# the global rotation and scale, transformation of the image, and the two correction tables.
"$bin/zmrcal" open-ostrel sample.txt \
  detect save-points detected_points.txt \
  overlay triangles on render overlays.png \
  extrapolate adjust save-points calibration_points.txt \
  transform \
  save-zmr detector.zmr save-orbik-ascii orbik_table.txt \
  target-to-source save-bitmap corrected.bmp
spots=$(( $(wc -l < PointsFit.txt) - 1 ))
assigned=$(wc -l < detected_points.txt)
points=$(wc -l < calibration_points.txt)
echo
echo "The generator drew $(wc -l < sample_truth.txt) spots; detection kept $spots spots," \
  "of which $assigned were assigned to the grid; with the extrapolated boundary there are" \
  "$points calibration points."
echo "Detection picture with its overlays: demo/overlays.png; corrected image: demo/corrected.bmp; ORBIK table: demo/detector.zmr ($(wc -c < detector.zmr) bytes)" \
  "and demo/orbik_table.txt."
# The quality report of the calibration: the sample image with the calibration points, the
# summary on standard output.
"$bin/zmrcal" open-ostrel sample.txt open-points calibration_points.txt report quality \
  > quality_summary.txt
echo
grep -E '^(Closure|Leave-one-out RMS)' quality_summary.txt
echo "Quality report: demo/quality.html (figures in demo/quality.json)."
echo
echo "demo/ now holds:"
ls -l
