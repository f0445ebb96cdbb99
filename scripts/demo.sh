#!/bin/bash
# The main job, on a fresh Debian machine: sets everything up, builds every
# build, makes the example release's updater (examples/star-journey) with
# `updpack build-exe`, installs the example game into a Wine prefix and runs
# the real updater on it, then prints what changed in the installation.
#
# On a display (DISPLAY set) the updater opens there for you to click
# through; without one it runs under xvfb and the demo presses the buttons.
# DEMO_UNATTENDED=1 asks for the unattended run on a display too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native win32 win64

demo="$PWD/build/demo"
updpack="$PWD/build/native/tools/updpack/updpack"
mkdir -p "$demo"

# The updater a release ships: win32, with the release's version strings.
examples/star-journey/stage-release.sh "$demo/release"
"$updpack" build-exe -o "$demo/STARUPD.EXE" --product '星の旅路' --company ExampleSoft \
  --file-version 1.0.1.0 --product-version 1.0.1.0 "$demo/release"
"$updpack" list "$demo/STARUPD.EXE"

# The Wine here runs 64-bit programs only, so the run uses the win64 build
# of the same release.
run=(bash tests/wine/run-wine-test.sh "$PWD/tests/wine/example/star_journey.sh" "$PWD/build/win64"
     "$PWD/build/native/tests/wine" "$demo/wine" "$demo/wineprefix")
if [[ -n "${DISPLAY:-}" && -z "${DEMO_UNATTENDED:-}" ]]; then
  echo "The updater opens on your display: press its buttons to go through the update."
  WINE_TEST_ON_DISPLAY=1 WINE_STEP_SECONDS=660 "${run[@]}"
else
  "${run[@]}"
fi
echo
echo "The example's updater (win32, as shipped): $demo/STARUPD.EXE"
echo "Pictures of the wizard's pages: $demo/wine/screenshots"
