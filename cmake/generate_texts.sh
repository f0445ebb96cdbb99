#!/bin/bash
# Turns texts.txt (UTF-8: name, tab, text) into a C++ header whose constants
# hold each text's code page 932 bytes, every byte written as an escape so
# that any compiler takes them unchanged.
set -euo pipefail
in="$1"
out="$2"
tmp="$out.tmp"
{
  echo "// Generated from texts.txt: code page 932 bytes. Do not edit."
  echo "#pragma once"
  grep -v '^#' "$in" | grep -v '^[[:space:]]*$' | while IFS='	' read -r name text; do
    bytes=$(printf '%b' "$text" | iconv -f UTF-8 -t CP932 | od -An -tx1 -v | tr -d ' \n' | sed 's/../\\x&/g')
    echo "inline constexpr char $name[] = \"$bytes\";"
  done
} > "$tmp"
mv "$tmp" "$out"
