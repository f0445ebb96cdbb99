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
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if ((${#unformatted[@]})); then
  echo "FAILED: not formatted as .clang-format says (scripts/check-format.sh --fix):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "Formatting: ${#files[@]} files as .clang-format says."
