#!/bin/bash
# Fails, naming each file, when a C++ source or header of the tree is not as
# clang-format (.clang-format) writes it. `scripts/check-format.sh --fix`
# formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "--fix" ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One clang-format for all files: it names each unformatted line as
# "FILE:LINE:COLUMN: error: code should be clang-formatted".
report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1) && status=0 || status=$?
if ((status != 0)); then
  echo "FAILED: not formatted as .clang-format says (scripts/check-format.sh --fix):"
  unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
    <<<"$report" | sort -u)
  if [[ -n "$unformatted" ]]; then
    sed 's/^/  /' <<<"$unformatted"
  else
    echo "$report"
  fi
  exit 1
fi
echo "Formatting: ${#files[@]} files as .clang-format says."
