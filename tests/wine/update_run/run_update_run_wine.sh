#!/bin/bash
# Runs the update run's Windows test program under Wine with a CD-ROM drive:
# a host folder linked as drive R: of a private Wine prefix and marked as a
# CD-ROM drive in the prefix's registry.
# Usage: run_update_run_wine.sh <test program (.exe)> <scratch folder>
# Exits 77 (skipped) when Wine, the test program or a display is missing.
set -u
exe="$1"
scratch="$2"
if ! command -v wine >/dev/null 2>&1; then
  echo "SKIPPED: wine is not installed"
  exit 77
fi
if [ ! -f "$exe" ]; then
  echo "SKIPPED: $exe is not built (build the win64 preset first)"
  exit 77
fi
# Wine's dialogs need a display; a virtual one will do.
run=()
if [ -z "${DISPLAY:-}" ]; then
  if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "SKIPPED: no display and no xvfb-run"
    exit 77
  fi
  run=(xvfb-run -a)
fi

export WINEPREFIX="$scratch/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no prompts to install Mono or Gecko
export LANG=ja_JP.UTF-8  # the ANSI code page is 932
export LC_ALL=ja_JP.UTF-8
mkdir -p "$scratch"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 240 wineboot -i >/dev/null 2>&1
  timeout 60 wineserver -w
fi

# A fresh disc and a fresh work folder for every run.
work="$WINEPREFIX/drive_c/update-run-test"
cd_folder="$scratch/cdrom"
chmod -R u+w "$cd_folder" 2>/dev/null
rm -rf "$work" "$cd_folder"
mkdir -p "$work" "$cd_folder/movie"
printf 'disc 1' >"$cd_folder/DISK1.CHK"
printf 'read me' >"$cd_folder/readme.txt"
printf 'opening' >"$cd_folder/movie/op.mpg"
chmod 444 "$cd_folder/readme.txt" "$cd_folder/movie/op.mpg"  # files on a disc are read-only

ln -sfn "$cd_folder" "$WINEPREFIX/dosdevices/r:"
timeout 60 wine reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null 2>&1
wineserver -k 2>/dev/null  # the drive types are read when Wine starts
wineserver -w 2>/dev/null

cd_windows="Z:$(printf '%s' "$cd_folder" | tr '/' '\\')"
"${run[@]}" timeout 240 wine "$exe" 'C:\update-run-test' R "$cd_windows" |
  iconv -f CP932 -t UTF-8 -c
status=${PIPESTATUS[0]}
wineserver -k 2>/dev/null
exit $status
