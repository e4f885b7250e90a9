#!/usr/bin/env bash
# Installs the Debian packages the benchmarks need besides those of the build (the Google
# Benchmark library, and OpenCV, which zmr_wait_bench times side by side with the program's
# stages; no program links it), if any is missing.
set -euo pipefail
packages=(libbenchmark-dev libopencv-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
