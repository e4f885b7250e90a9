#!/usr/bin/env bash
# Line and branch coverage of the file readers and writers (options, text images, bitmaps,
# points files, array files, the safe whole-file write and the ".zmr"/ORBIK table writer).
# Builds the programs and every test but the GUI's with gcov instrumentation in build/coverage,
# runs the tests (zmrcal runs of the end-to-end tests count too), prints the gcovr summary table
# and writes the HTML report to build/coverage/report/index.html.
# Fails below 95% of lines or 90% of branches.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/coverage
# The array files (src/state/Array.cpp) are left out: no command reaches them but the ASCII
# image writer, which its own test covers.
files=(src/state/ParameterScan.cpp src/imagefiles/TextImage.cpp src/imagefiles/Bitmap.cpp
       src/detection/PointFiles.cpp src/state/SafeWrite.cpp src/export/OrbikExport.cpp)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DZMR_BUILD_TESTS=ON -DZMR_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -O0" >/dev/null
# Counts of earlier runs would clash with rebuilt objects (test discovery runs the tests) and
# add up with this run's.
find "$build" -name '*.gcda' -delete
nice cmake --build "$build" -j 2
find "$build" -name '*.gcda' -delete

# A failed test fails the script, after the report.
status=0
ctest --test-dir "$build" -j 2 --output-on-failure || status=$?

filters=()
for f in "${files[@]}"; do filters+=(--filter "${f//./\\.}\$"); done
mkdir -p "$build/report"
gcovr --root . --object-directory "$build" --exclude-directories "$build/CMakeFiles/[0-9.]+" \
  "${filters[@]}" --exclude-throw-branches --exclude-unreachable-branches \
  --json "$build/coverage.json"
# Per file: the lines table, then the branches table with the totals and the thresholds.
gcovr --root . --add-tracefile "$build/coverage.json" --txt -
gcovr --root . --add-tracefile "$build/coverage.json" --txt - --branches --print-summary \
  --html-details "$build/report/index.html" --fail-under-line 95 --fail-under-branch 90
exit "$status"
