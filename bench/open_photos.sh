#!/usr/bin/env bash
# Times opening 20 24-megapixel JPEGs in the main window, and Next between two of them,
# against plain decodes of the same files in the same run (the "ratio" counters).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
cmake --build "$dir" -j2 --target bench_open_photos
QT_QPA_PLATFORM=offscreen "$dir/bench/bench_open_photos" --benchmark_counters_tabular=true
