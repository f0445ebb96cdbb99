#!/bin/bash
# Peak memory of updpack verify, list and extract on the archive of one
# file of zeros, each run under /usr/bin/time -v: figures printed, nothing
# judged (docs/benchmark.md).
#
# Usage: bench/updpack_memory.sh [SIZE [UPDPACK]]
#   SIZE     bytes of zeros (default 4000000000; packing them takes about
#            four minutes, so give less for a quick run)
#   UPDPACK  the updpack to measure (default build/native/tools/updpack/updpack)
# The files go in a new folder under $BENCH_DIR (default build/), removed at
# the end: the zeros are a sparse file, but packing copies them into a
# scratch file and extracting writes them, so it needs about twice SIZE free.
set -euo pipefail

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size="${1:-4000000000}"
updpack="${2:-$source_dir/build/native/tools/updpack/updpack}"

fail() {
  echo "updpack_memory.sh: $*" >&2
  exit 1
}
[[ "$size" =~ ^[0-9]+$ ]] || fail "SIZE is a number of bytes: $size"
[[ -x "$updpack" ]] || fail "no updpack at $updpack (build it first)"
[[ -x /usr/bin/time ]] || fail "/usr/bin/time is missing (scripts/setup.sh installs it)"

parent="${BENCH_DIR:-$source_dir/build}"
mkdir -p "$parent"
free_bytes=$(($(df --output=avail -k "$parent" | tail -n 1) * 1024))
((free_bytes > 2 * size + (256 << 20))) ||
  fail "$parent has $free_bytes bytes free; this run needs about $((2 * size))"
work="$(mktemp -d "$parent/updpack-memory.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Runs updpack under /usr/bin/time -v as step `name`; stops on a failure.
measure() {
  local name="$1"
  shift
  if ! /usr/bin/time -v -o "$work/$name.time" "$updpack" "$@" \
    >"$work/$name.out" 2>"$work/$name.err"; then
    cat "$work/$name.err" >&2
    fail "updpack $1 failed"
  fi
}

# "name_peak_mb: N" (MB of 10^6 bytes) and "name_seconds: N" of a step.
report() {
  local name="$1"
  awk -v name="$name" '
    /Maximum resident set size/ { peak = $NF }
    /Elapsed \(wall clock\) time/ {
      n = split($NF, part, ":")
      seconds = n == 3 ? part[1] * 3600 + part[2] * 60 + part[3] : part[1] * 60 + part[2]
    }
    END {
      printf "%s_peak_mb: %.1f\n", name, peak * 1024 / 1e6
      printf "%s_seconds: %.1f\n", name, seconds
    }' "$work/$name.time"
}

mkdir "$work/in" "$work/out"
truncate -s "$size" "$work/in/zeros.bin"
echo "zeros_bytes: $size"

measure create create -o "$work/zeros.vq2" "$work/in"
rm "$work/in/zeros.bin"
echo "archive_bytes: $(stat -c %s "$work/zeros.vq2")"
report create

measure verify verify "$work/zeros.vq2"
report verify
grep -q ': sound$' "$work/verify.out" || fail "verify did not find the archive sound"

measure list list "$work/zeros.vq2"
report list

measure extract extract "$work/zeros.vq2" -C "$work/out"
report extract
extracted="$work/out/zeros.bin"
if [[ "$(stat -c %s "$extracted")" == "$size" ]] && cmp -s -n "$size" "$extracted" /dev/zero; then
  echo "extract_matches: yes"
else
  echo "extract_matches: no"
fi
