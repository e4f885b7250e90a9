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
"$bin/zmrcal" open-ostrel sample.txt save-bitmap sample.bmp save-ascii sample_ascii.txt
echo
echo "demo/ now holds:"
ls -l
