#!/usr/bin/env bash
# Fuzzes each file reader for a bounded time: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# (default 20 s each, all ten targets). Builds the clang-14 fuzz preset, starts every target
# from a scratch copy of the committed corpus (fuzz/corpus/<target>, left untouched) and stops
# at the first finding; its reproducer is left in build/fuzz/findings/<target>/ (cleared when
# that target is fuzzed again). A reproducer
# belongs in fuzz/regressions/<target>/ with the fix, where every test build replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(Options OstrelText AsciiText Bitmap Points Mesh Tiff Png Jpeg Netpbm Edf)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/#/zmr_fuzz_}"
for target in "${targets[@]}"; do
  work="build/fuzz/work/$target"
  findings="build/fuzz/findings/$target"
  rm -rf "$work" "$findings" && mkdir -p "$work" "$findings"
  cp fuzz/corpus/"$target"/* "$work"/
  echo "=== fuzzing $target for ${seconds} s ==="
  # -rss_limit_mb bounds memory; -timeout flags any input slower than 2 s as a hang.
  "build/fuzz/fuzz/zmr_fuzz_$target" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$work" 2>&1 |
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==|SUMMARY|.*Test unit written)' ||
    true
  if [ -n "$(ls -A "$findings")" ]; then
    echo "fuzzing $target found a failing input: $(ls "$findings")" >&2
    exit 1
  fi
done
