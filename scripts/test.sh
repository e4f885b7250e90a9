#!/usr/bin/env bash
# Builds and runs every test: the normal build (once more with a locale whose decimal mark is
# a comma, whose files and messages must not differ), the AddressSanitizer and
# UndefinedBehaviorSanitizer build, the ThreadSanitizer build of the tests that run worker
# threads (commands, cancellation, zmrcal steps, two calibrations at once, the window), the
# plain Release build with its tests, and a short fuzzing of each file reader (scripts/fuzz.sh).
# The committed fuzz corpus is replayed as tests in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
for preset in dev asan tsan; do
  echo "=== $preset build ($(date +%T)) ==="
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = tsan ]; then
    cmake --build --preset tsan -j "$jobs" --target zmr_unit_tests zmr_gui_tests zmrcal
    TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
      ctest --preset tsan -j "$jobs" -R 'Commands|Cancellation|Steps|TwoCalibrations|MainWindow|Progress|Threshold|RotationScaleSums|PageWarmer|TwoBand'
  else
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
  fi
  if [ "$preset" = dev ]; then
    echo "=== dev tests with LC_ALL=de_DE.UTF-8 ==="
    LC_ALL=de_DE.UTF-8 ctest --preset dev -j "$jobs"
  fi
done
# The usual build a user types, with the tests: an optimised build must pass them too (and its
# warnings are errors like everywhere else).
echo "=== plain Release build with tests ($(date +%T)) ==="
cmake -S . -B build/release-tests -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release-tests -j "$jobs"
ctest --test-dir build/release-tests -j "$jobs" --output-on-failure
echo "=== fuzzing ($(date +%T)) ==="
scripts/fuzz.sh "${ZMR_FUZZ_SECONDS:-10}"
