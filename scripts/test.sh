#!/usr/bin/env bash
# Installs what is needed, builds in build/ and runs every test, then says how many tests
# were skipped and why.
# With --sanitize it builds in build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer instead.
# LUMATRIM_CORPUS=DIR names the folder of sample pictures in place of ../shared/corpus.
set -euo pipefail
if [[ -n "${LUMATRIM_CORPUS:-}" ]]; then
  LUMATRIM_CORPUS=$(realpath -m -- "$LUMATRIM_CORPUS")
  export LUMATRIM_CORPUS
fi
cd "$(dirname "$0")/.."

# Counts the skips in a ctest run's log, GoogleTest's ("<file>:<line>: Skipped" followed by
# the reason) and Qt Test's ("SKIP   : Class::function(row) reason"), grouped by reason.
report_skips() {
  local log="$1/Testing/Temporary/LastTest.log"
  [[ -f "$log" ]] || return 0
  awk '
    /^[^ ].*:[0-9]+: Skipped$/ {
      reason = ""
      if ((getline line) > 0) reason = line
      if (reason == "") reason = "(no reason given)"
      count[reason]++; total++; next
    }
    /^SKIP   : / {
      reason = $0
      sub(/^SKIP   : [^ ]*\([^)]*\) */, "", reason)
      if (reason == "") reason = "(no reason given)"
      count[reason]++; total++; next
    }
    END {
      if (total == 0) { print "No test was skipped."; exit }
      print total " test" (total == 1 ? " was" : "s were") " skipped:"
      corpus = 0
      for (reason in count) {
        print "  " count[reason] " x " reason
        if (reason ~ /^corpus folder missing: /) corpus = 1
      }
      if (corpus)
        print "The sample pictures come from ../shared/corpus beside the checkout, or from LUMATRIM_CORPUS=DIR (see README.md)."
    }' "$log"
}

scripts/install-deps.sh
if [[ "${1:-}" == "--sanitize" ]]; then
  dir=build-asan
  scripts/build.sh "$dir" -DLUMATRIM_SANITIZE=ON
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  scripts/build.sh "$dir"
fi
status=0
ctest --test-dir "$dir" --output-on-failure -j2 || status=$?
report_skips "$dir"
exit "$status"
