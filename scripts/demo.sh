#!/bin/bash
# The main job: sets everything up, builds every build and shows a small
# demo archive.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native win32 win64
echo "Built: build/native/updater, build/win32/updater.exe, build/win64/updater.exe"
