#!/bin/bash
# Builds the updaters that updpack carries with the win32 and win64 presets
# (configuring a preset's tree the first time), and copies them to OUT as
# win32-updater.exe and win64-updater.exe when they changed.
# Usage: build-carried-updaters.sh SOURCE OUT
set -euo pipefail
source="$1"
out="$2"
mkdir -p "$out"
cd "$source"
for preset in win32 win64; do
  [[ -f "build/$preset/build.ninja" ]] || cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" --target updater_stub updater_kit
  cmake -E copy_if_different "build/$preset/updater-stub.exe" "$out/$preset-updater.exe"
done
