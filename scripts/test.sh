#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the AddressSanitizer and
# UndefinedBehaviorSanitizer build, then the ThreadSanitizer build of the tests that run
# worker threads (commands, zmrcal steps, the window).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
for preset in dev asan tsan; do
  echo "=== $preset build ==="
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = tsan ]; then
    cmake --build --preset tsan -j "$jobs" --target zmr_unit_tests zmr_gui_tests zmrcal
    TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
      ctest --preset tsan -j "$jobs" -R 'Commands|Steps|MainWindow|Progress|Threshold' \
      -E 'Interrupt'
  else
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
  fi
done
