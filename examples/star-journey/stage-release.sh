#!/bin/bash
# Stages the example update as a release engineer ships it: the new files,
# UPDATE.INI and AGREE.TXT converted from UTF-8 (kept so for reading here) to
# code page 932, and every file given the release's time, so that the same
# example always packs into the same archive.
#
# Usage: stage-release.sh FOLDER   (emptied first)
set -euo pipefail
[[ $# == 1 ]] || { echo "usage: stage-release.sh FOLDER" >&2; exit 2; }
example="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
stage="$1"
release_time='2026-12-01 12:00 UTC'

rm -rf "$stage"
mkdir -p "$stage"
cp -r "$example/update/files/." "$stage/"
for text in UPDATE.INI AGREE.TXT; do
  iconv -f UTF-8 -t CP932 "$example/update/$text" >"$stage/$text"
done
find "$stage" -exec touch -d "$release_time" {} +
