#!/bin/bash
# Runs the installed updpack (UPDPACK_INSTALLED) with its arguments as a
# release engineer's machine without compilers would: every MinGW-w64 tool,
# compiler, linker and resource compiler on the PATH replaced by one that
# fails, and under strace. Fails unless updpack succeeded without starting
# any program and without opening a file of the source tree (UPDPACK_SOURCE)
# other than those its arguments name (the files and folders, and the
# output's folder).
set -uo pipefail
: "${UPDPACK_INSTALLED:?}" "${UPDPACK_SOURCE:?}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/no-tools"
for tool in /usr/bin/*-w64-mingw32-* gcc g++ cc c++ clang clang++ ld as windres bash sh; do
  name="$(basename "$tool")"
  printf '#!/bin/false\n' >"$work/no-tools/$name"
  chmod +x "$work/no-tools/$name"
done
PATH="$work/no-tools:$PATH" strace -f -qq -e trace=execve,open,openat -o "$work/trace" \
  "$UPDPACK_INSTALLED" "$@"
status=$?
((status == 0)) || exit "$status"
started="$(grep -c 'execve(' "$work/trace")"
if [[ "$started" != 1 ]]; then
  echo "traced-updpack.sh: updpack started other programs:" >&2
  grep 'execve(' "$work/trace" >&2
  exit 1
fi
# What the arguments name: existing files and folders, and the output's
# folder, as absolute paths.
allowed=()
previous=""
for argument in "$@"; do
  [[ -e "$argument" ]] && allowed+=("$(realpath "$argument")")
  [[ "$previous" == -o || "$previous" == --output ]] &&
    allowed+=("$(realpath -m "$(dirname "$argument")")")
  previous="$argument"
done
opened_in_tree=0
while IFS= read -r path; do
  named=0
  for prefix in "${allowed[@]+"${allowed[@]}"}"; do
    [[ "$path" == "$prefix" || "$path" == "$prefix"/* ]] && named=1
  done
  if ((!named)); then
    echo "traced-updpack.sh: updpack opened $path, in the source tree" >&2
    opened_in_tree=1
  fi
done < <(grep -v ENOENT "$work/trace" | grep -o 'open[a-z]*(\(AT_FDCWD, \)\?"[^"]*"' |
  sed 's/^[^"]*"//; s/"$//' | while IFS= read -r opened; do
    [[ "$opened" == /* ]] || opened="$PWD/$opened"  # relative to where updpack ran
    opened="$(realpath -m "$opened")"
    [[ "$opened" == "$UPDPACK_SOURCE"/* ]] && echo "$opened"
  done)
exit "$opened_in_tree"
