#!/usr/bin/env bash
# Builds the Debian package of the programs from the release preset (installed under /usr):
# build/release/zmrcalibration_VERSION_ARCH.deb. With --check it also lets apt resolve the
# package's dependencies as on a system with nothing installed, installs the package on
# this machine, runs the installed zmrcal --version and starts the installed desktop program
# on the offscreen platform (still running after 3 s = it started), then removes the package
# again; that needs root (or sudo) and apt.
set -euo pipefail
cd "$(dirname "$0")/.."
check=no
[ "${1:-}" = --check ] && check=yes
scripts/install-deps.sh
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
cmake --preset release >/dev/null
nice cmake --build --preset release -j "${ZMR_JOBS:-2}"
(cd build/release && cpack -G DEB)
deb="$(ls -t build/release/zmrcalibration_*.deb | head -1)"
echo "Built $deb"
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends
[ "$check" = yes ] || exit 0

# On a system with no package installed, apt must find everything the package needs.
empty="$(mktemp)"
apt-get -s -o Dir::State::status="$empty" install "./$deb" >"$empty.log" 2>&1 ||
  { cat "$empty.log" >&2; rm -f "$empty" "$empty.log"; exit 1; }
echo "On an empty system: $(grep -E '^[0-9]+ upgraded' "$empty.log")"
rm -f "$empty" "$empty.log"

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if dpkg-query -W -f='${Status}' zmrcalibration 2>/dev/null | grep -q "install ok installed"; then
  echo "zmrcalibration is already installed; the check would replace it, so it stops here" >&2
  exit 1
fi
trap '"${sudo_cmd[@]}" apt-get remove -y zmrcalibration >/dev/null' EXIT
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "./$deb"
/usr/bin/zmrcal --version
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/zmrcalibration || status=$?
if [ "$status" -ne 124 ]; then
  echo "zmrcalibration ended with status $status before 3 s" >&2
  exit 1
fi
echo "zmrcalibration started (still running after 3 s)"
