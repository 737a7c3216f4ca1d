#!/usr/bin/env bash
# Installs what is needed, builds in build/ and runs every test.
# With --sanitize it builds in build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [[ "${1:-}" == "--sanitize" ]]; then
  scripts/build.sh build-asan -DLUMATRIM_SANITIZE=ON
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ctest --test-dir build-asan --output-on-failure -j2
else
  scripts/build.sh build
  ctest --test-dir build --output-on-failure -j2
fi
