#!/bin/bash
# Makes a POSIX updater that carries an archive: copies the native updater
# and appends the archive as its resource "UPDATE", id 102, then the
# archive's SHA-256 digest as resource "UPDATE" 103, each followed by the
# 32-byte trailer that platform/posix/appended_resource.h describes (type
# name padded to 16 bytes, id and size as little-endian 32-bit numbers, the
# magic "UPDRSRC1").
#
# Usage: append-archive.sh UPDATER ARCHIVE OUTPUT
# OUTPUT is replaced only by a complete file.
set -euo pipefail

if (($# != 3)); then
  echo "usage: append-archive.sh UPDATER ARCHIVE OUTPUT" >&2
  exit 2
fi
updater="$1"
archive="$2"
output="$3"
for file in "$updater" "$archive"; do
  [[ -f "$file" ]] || { echo "append-archive.sh: no file $file" >&2; exit 1; }
done
size=$(stat -c %s "$archive")
if ((size == 0 || size > 0xFFFFFFFF)); then
  echo "append-archive.sh: the archive must hold 1 to 4294967295 bytes" >&2
  exit 1
fi

# Four bytes of a number, lowest first.
le32() {
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) \
    $((($1 >> 16) & 255)) $((($1 >> 24) & 255))
}

# The trailer of a resource of type "UPDATE": id and size.
trailer() {
  printf 'UPDATE\0\0\0\0\0\0\0\0\0\0'
  printf '%b' "$(le32 "$1")$(le32 "$2")"
  printf 'UPDRSRC1'
}

digest_hex="$(sha256sum "$archive" | cut -c1-64)"
partial="$output.partial.$$"
trap 'rm -f "$partial"' EXIT
{
  cat "$updater" "$archive"
  trailer 102 "$size"
  printf '%b' "$(sed 's/../\\x&/g' <<<"$digest_hex")"
  trailer 103 32
} >"$partial"
chmod +x "$partial"
mv -f "$partial" "$output"
trap - EXIT
