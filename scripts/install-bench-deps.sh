#!/usr/bin/env bash
# Installs what the build needs and, besides, what the benchmarks need: the Google Benchmark
# library, and OpenCV, which zmr_wait_bench times side by side with the program's stages (no
# program links it).
set -euo pipefail
exec "$(dirname "$0")/install-deps.sh" libbenchmark-dev libopencv-dev
