#!/bin/bash
# The main job: sets everything up, builds every build, packs the example
# update (examples/star-journey) into an archive and lists it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native win32 win64

# The example keeps its texts in UTF-8 for reading; a release ships them in
# code page 932, so they are converted into a staging folder first.
stage=build/demo/stage
rm -rf build/demo && mkdir -p "$stage"
cp -r examples/star-journey/update/files/. "$stage/"
for text in UPDATE.INI AGREE.TXT; do
  iconv -f UTF-8 -t CP932 "examples/star-journey/update/$text" > "$stage/$text"
done
build/native/tools/updpack/updpack create -o build/demo/update.vq2 "$stage"
build/native/tools/updpack/updpack verify build/demo/update.vq2
build/native/tools/updpack/updpack list build/demo/update.vq2
echo "Built: build/native/updater, build/win32/updater.exe, build/win64/updater.exe"
echo "Demo archive: build/demo/update.vq2"
