#!/bin/bash
# Sets everything up, checks that the sources are formatted, and runs every
# test: the Linux tests normally and under AddressSanitizer with
# UndefinedBehaviorSanitizer, the Windows tests under Wine, and each fuzzer
# for a short bounded time. A skipped test fails the
# run: on a machine set up by scripts/setup.sh every test can run, so a skip
# means a missing install step.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
scripts/setup.sh
scripts/check-format.sh
scripts/build.sh native native-sanitize win32 win64 fuzz
export LANG=ja_JP.UTF-8

# Runs ctest in one tree; fails, naming each skipped test and its reason,
# when a test did not run.
run_tests() {
  local tree="build/$1" log="build/$1/ctest-summary.log"
  echo "== test $1"
  local status=0
  ctest --test-dir "$tree" --output-on-failure -j2 2>&1 | tee "$log" || status=$?
  # ctest lists tests that did not run as "  12 - name (Skipped)" or
  # "(Not Run)"; a skip is not a pass here.
  local skipped
  skipped=$(sed -n 's/^[[:space:]]*[0-9]\{1,\} - \(.*\) (\(Skipped\|Not Run\|Disabled\))$/\1/p' "$log")
  if [[ -n "$skipped" ]]; then
    echo "FAILED: these tests of $1 did not run:"
    local name
    while read -r name; do
      local why
      why=$(awk -v t="$name" '
        $0 ~ "^[0-9]+/[0-9]+ Test: " t "$" { on = 1; next }
        on && /^Test time|^Test (Passed|Failed)/ { exit }
        on && /SKIPPED|\[  SKIPPED \]|Unable to find/ { print; exit }' \
        "$tree/Testing/Temporary/LastTest.log")
      echo "  $name: ${why:-no reason printed (see $tree/Testing/Temporary/LastTest.log)}"
    done <<<"$skipped"
    return 1
  fi
  return "$status"
}

for preset in native native-sanitize fuzz; do
  run_tests "$preset"
done
echo "All tests passed, none skipped ($(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s)."
