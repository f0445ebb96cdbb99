#!/bin/bash
# Runs one Wine test case: a bash script (tests/wine/cases/*.sh) that starts
# the updater and drives its windows with wine_driver.exe, step by step.
#
# Usage: run-wine-test.sh CASE WIN64_BUILD TOOLS WORK PREFIX
#   CASE         the case script, sourced with the functions below
#   WIN64_BUILD  the win64 build folder (updater.exe, kit/, the driver)
#   TOOLS        the folder of the native helpers (make_test_archive, pe_report)
#   WORK         a folder for this case's files and screenshots (emptied)
#   PREFIX       the Wine prefix, made on first use and shared by the cases
#
# Everything runs under one virtual X server (xvfb-run) with one wineserver
# kept alive from the first step to the last, in the locale WINE_TEST_LOCALE
# (default ja_JP.UTF-8, ANSI code page 932; en_US.UTF-8 gives 1252 and
# zh_CN.UTF-8 936, the systems on which the updater's code page 932 texts
# would not show through the ANSI functions). The driver reads and prints
# UTF-8. Every step has a timeout; nothing waits for a person.
# With WINE_TEST_ON_DISPLAY=1 and a DISPLAY, the case runs on that display
# instead of xvfb (the demo, where a person watches or takes part), and
# WINE_STEP_SECONDS lengthens the steps' timeout.
# Exit status: 0 passed, 1 failed, 77 skipped (Wine or the build missing).
set -uo pipefail

if (($# != 5)); then
  echo "usage: run-wine-test.sh CASE WIN64_BUILD TOOLS WORK PREFIX" >&2
  exit 2
fi
CASE="$1"
WIN64="$2"
TOOLS="$3"
WORK="$4"
PREFIX="$5"
DRIVER="$WIN64/tests/wine/wine_driver.exe"

STEP_SECONDS="${WINE_STEP_SECONDS:-60}"  # the longest any single step may take
BOOT_SECONDS=240    # making a new prefix
LOCK_SECONDS=600    # waiting for another case that uses the prefix

skip() {
  echo "SKIPPED: $*"
  exit 77
}

if [[ -z "${WINE_TEST_DISPLAY_READY:-}" ]]; then
  for tool in wine wineserver wineboot xvfb-run iconv timeout flock; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
  done
  for file in "$WIN64/updater.exe" "$WIN64/kit/link-updater.sh" "$DRIVER"; do
    [[ -e "$file" ]] || skip "$file is missing (build the win64 preset first)"
  done
  export WINE_TEST_DISPLAY_READY=1
  if [[ -n "${WINE_TEST_ON_DISPLAY:-}" && -n "${DISPLAY:-}" ]]; then
    exec bash "$0" "$@"
  fi
  # One virtual X server for the whole case.
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

export WINEPREFIX="$PREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no prompts to install Mono or Gecko
LOCALE="${WINE_TEST_LOCALE:-ja_JP.UTF-8}"
# The ANSI code page that Wine derives from the locale, checked first.
case "$LOCALE" in
  ja_JP.*) ANSI_CODE_PAGE=932 ;;
  zh_CN.*) ANSI_CODE_PAGE=936 ;;
  ko_KR.*) ANSI_CODE_PAGE=949 ;;
  en_US.* | de_DE.* | fr_FR.*) ANSI_CODE_PAGE=1252 ;;
  *) echo "run-wine-test.sh: no code page known for the locale $LOCALE" >&2; exit 2 ;;
esac
export LANG="$LOCALE"
export LC_ALL="$LOCALE"

say() { printf '%s\n' "$*"; }

screenshot() {
  if command -v import >/dev/null 2>&1; then
    timeout 20 import -window root "$WORK/$1.png" 2>/dev/null && say "screenshot: $WORK/$1.png"
  fi
}

# Runs the driver with a timeout and prints its output (UTF-8). The output
# goes through a file, not a pipe: a process that Wine starts in the
# background could hold a pipe open and make the reader wait forever.
run_driver() {
  timeout -k 5 "$STEP_SECONDS" wine "$DRIVER" "$@" >"$WORK/driver.out" 2>&1
  local status=$?
  cat "$WORK/driver.out"
  return "$status"
}

# Ends the case as failed, with a picture and a list of what is on screen.
fail() {
  say "FAILED: $*"
  screenshot failure
  run_driver list
  exit 1
}

# Runs the driver's verbs; fails the case unless all of them pass.
drive() {
  say "> driver $*"
  run_driver "$@"
  local status=$?
  case "$status" in
    0) ;;
    2) fail "a wait of the driver timed out ($*)" ;;
    124 | 137) fail "the driver did not finish within $STEP_SECONDS s ($*)" ;;
    *) fail "driver check failed with status $status ($*)" ;;
  esac
}

UPDATER_PID=""
# Starts the updater (or any program) under Wine in the background.
start_updater() {
  say "> start $*"
  wine "$@" >"$WORK/updater.out" 2>&1 </dev/null &
  UPDATER_PID=$!
}

# Waits up to SECONDS for the started executable to end and checks its exit
# code.
expect_exit() {
  local expected="$1" seconds="$2" waited=0
  while kill -0 "$UPDATER_PID" 2>/dev/null; do
    if ((waited >= seconds * 10)); then
      fail "the updater still runs after $seconds s (a window waiting for an answer?)"
    fi
    sleep 0.1
    ((waited++))
  done
  wait "$UPDATER_PID"
  local status=$?
  UPDATER_PID=""
  ((status == expected)) || fail "the updater exited with $status, expected $expected"
  say "exit code $status"
}

# Links an updater with ARCHIVE through the kit.
link_updater() {
  say "> link-updater.sh $*"
  timeout "$STEP_SECONDS" "$WIN64/kit/link-updater.sh" "$@" || fail "linking the updater failed"
}

make_archive() {
  "$TOOLS/make_test_archive" "$@" || fail "making the test archive failed"
}

# UPDATE.INI files left in the Wine user's temp folder by an earlier run.
clear_temp_file() {
  find "$WINEPREFIX/drive_c/users" -ipath '*/temp/*' -iname "$1" -delete 2>/dev/null
}

finish() {
  [[ -n "$UPDATER_PID" ]] && kill "$UPDATER_PID" 2>/dev/null
  timeout 20 wineserver -k 2>/dev/null
  timeout 20 wineserver -w 2>/dev/null
}

# A Western Windows has Japanese fonts and links them to its dialog fonts,
# so Japanese texts show; Wine in a Western locale links to none. The host's
# Japanese font stands in for them in a prefix of code page 1252 (for the
# pictures only: the checks read the texts, not the glyphs).
link_japanese_font() {
  ((ANSI_CODE_PAGE == 1252)) || return 0
  command -v fc-match >/dev/null 2>&1 || return 0
  local font ui_font
  font="$(fc-match -f '%{file}|%{family[0]}' ':lang=ja')" || return 0
  for ui_font in Tahoma 'MS Shell Dlg' 'Microsoft Sans Serif'; do
    timeout -k 5 "$STEP_SECONDS" wine reg add \
      'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$ui_font" \
      /t REG_MULTI_SZ /d "$(basename "${font%%|*}"),${font#*|}" /f || return 1
  done
  timeout -k 5 "$STEP_SECONDS" wine reg add 'HKCU\Software\Wine\Fonts\Replacements' \
    /v 'ＭＳ Ｐゴシック' /d "${font#*|}" /f
}

rm -rf "$WORK"
mkdir -p "$WORK" "$(dirname "$PREFIX")"

# One case at a time in a prefix.
exec 9>"$PREFIX.lock"
flock -w "$LOCK_SECONDS" 9 || fail "the prefix $PREFIX stayed locked for $LOCK_SECONDS s"

# Makes the prefix from nothing; the output of every step goes to $1. Each
# step says which one failed, so that a failure can be told apart.
make_prefix() {
  rm -rf "$PREFIX"
  {
    timeout -k 10 "$BOOT_SECONDS" wineboot -i || { echo "wineboot -i ended with $?"; return 1; }
    timeout "$BOOT_SECONDS" wineserver -w
    # A virtual desktop: Wine draws the window frames, so screenshots show
    # the captions.
    timeout -k 5 "$STEP_SECONDS" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
      timeout -k 5 "$STEP_SECONDS" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f ||
      { echo "setting the virtual desktop ended with $?"; return 1; }
    link_japanese_font || { echo "linking the Japanese font ended with $?"; return 1; }
    timeout "$BOOT_SECONDS" wineserver -w
  } >"$1" 2>&1 </dev/null
}

trap finish EXIT
if [[ ! -f "$PREFIX/.ready" ]]; then
  say "making the Wine prefix $PREFIX (once)"
  # Wine's first start in a new prefix now and then fails for reasons of
  # its own (a start that races its own services); the prefix is made
  # again once from nothing before the case gives up. Only the prefix is
  # retried, never a step of the case.
  if ! make_prefix "$WORK/wineboot.out"; then
    say "making the prefix failed once ($(tail -n 1 "$WORK/wineboot.out")); making it again"
    timeout 20 wineserver -k 2>/dev/null
    timeout 20 wineserver -w 2>/dev/null
    mv "$WORK/wineboot.out" "$WORK/wineboot-first.out"
    make_prefix "$WORK/wineboot.out" ||
      fail "making the prefix failed or took over $BOOT_SECONDS s (see $WORK/wineboot.out and $WORK/wineboot-first.out)"
  fi
  touch "$PREFIX/.ready"
fi
# The wineserver stays up until the case ends, so steps start quickly. Wine's
# background services start with the first program; their output goes to a
# file of their own.
timeout 20 wineserver -p || fail "wineserver did not start"
timeout -k 5 "$STEP_SECONDS" wine cmd /c exit >"$WORK/wine-start.out" 2>&1 </dev/null ||
  fail "Wine did not start within $STEP_SECONDS s (see $WORK/wine-start.out)"

say "locale $LOCALE"
drive expect-acp "$ANSI_CODE_PAGE"

say "== $(basename "$CASE" .sh)"
# shellcheck source=/dev/null
source "$CASE"
say "PASSED"
