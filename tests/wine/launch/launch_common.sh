# Shared steps of the launch's Wine cases, sourced by each case (which
# run-wine-test.sh sources in turn): the release "星の旅路 Ver1.01", an
# installation of the game in the case's folder with its registry key, and
# the probe.
# shellcheck shell=bash

PROBE="$WIN64/tests/wine/launch/launch_probe.exe"
[[ -e "$PROBE" ]] || skip "$PROBE is missing (build the win64 preset first)"

CAPTION="星の旅路DX アップデータ Ver1.01"
INSTALL="$WORK/install"
REG_KEY='HKCU\Software\ExampleSoft\StarJourney'
# 2020-01-01 00:00 UTC, the time make_test_archive gives every entry.
ENTRY_TIME=1577836800

# A text file in code page 932 with CRLF line ends: to_cp932 FILE LINE...
to_cp932() {
  local file="$1"
  shift
  printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$file" || fail "cannot write $file"
}

# The release: UPDATE.INI's [SETUP] gets the extra lines given; the archive
# holds UPDATE.INI, game.exe and AGREE.TXT. The updater is $WORK/UPDATE.EXE.
make_release() {
  to_cp932 "$WORK/UPDATE.INI" '[SETUP]' 'CompanyName=ExampleSoft' 'GameTitle=星の旅路' \
    'GameClass=UpdateIniClass' 'GameDir=StarJourney' 'UpdaterVersion=Ver1.01' "$@" \
    '[UPDATE]' 'UpdateFile00=game.exe'
  printf 'new game' >"$WORK/game.exe"
  to_cp932 "$WORK/AGREE.TXT" '使用許諾契約' '' 'このアップデートを使用する前にお読み下さい。'
  make_archive "$WORK/update.vq2" "UPDATE.INI=$WORK/UPDATE.INI" "game.exe=$WORK/game.exe" \
    "AGREE.TXT=$WORK/AGREE.TXT"
  link_updater "$WORK/update.vq2" "$WORK/UPDATE.EXE"
  clear_temp_file UPDATE.INI
}

# The installed game, known to the registry of the prefix. Its own
# SETUP.INI names it "星の旅路DX" with the window class StarJourneyWnd.
install_game() {
  mkdir -p "$INSTALL"
  to_cp932 "$INSTALL/SETUP.INI" '[SETUP]' 'CompanyName=ExampleSoft' 'GameTitle=星の旅路DX' \
    'GameDir=StarJourney' 'GameExe=game.exe' 'UninstExe=uninst.exe' 'SetupBmp=setup1.bmp' \
    'InstallSelects=0' 'Shortcuts=0' 'GameClass=StarJourneyWnd'
  printf 'old game' >"$INSTALL/game.exe"
  touch -d '2001-01-01 00:00 UTC' "$INSTALL/game.exe"
  local windows_path
  windows_path="$(winepath -w "$INSTALL" 2>/dev/null)" || fail "winepath failed"
  remove_installation_key
  wine reg add "$REG_KEY" /v InstPath /d "$windows_path" /f >/dev/null 2>&1 &&
    wine reg add "$REG_KEY" /v DataPath /d "$windows_path" /f >/dev/null 2>&1 &&
    wine reg add "$REG_KEY" /v InstMode /t REG_DWORD /d 1 /f >/dev/null 2>&1 ||
    fail "cannot write the installation's registry key"
  say "installed at $windows_path"
}

remove_installation_key() {
  wine reg delete "$REG_KEY" /f >/dev/null 2>&1
  return 0
}

# Runs the probe's verb; fails the case unless it passes.
probe() {
  say "> probe $*"
  timeout -k 5 "$STEP_SECONDS" wine "$PROBE" "$@" 2>&1 | iconv -f CP932 -t UTF-8 -c
  local status=${PIPESTATUS[0]}
  ((status == 0)) || fail "probe $1 failed with status $status"
}

# Starts the game's stand-in window in the background: game_window TITLE.
GAME_PID=""
game_window() {
  say "> game window $1"
  # The output of an earlier game window must not count as this one's: the
  # background job may truncate the file only after the wait below looked.
  rm -f "$WORK/game.out"
  wine "$PROBE" game-window StarJourneyWnd "$1" 300 >"$WORK/game.out" 2>&1 &
  GAME_PID=$!
  local waited=0
  until grep -q 'game window' "$WORK/game.out" 2>/dev/null; do
    ((waited++ < 300)) || fail "the game's window did not open"
    sleep 0.1
  done
}

# game.exe of the installation: expect_game CONTENT MTIME.
expect_game() {
  local content mtime
  content="$(cat "$INSTALL/game.exe")"
  mtime="$(stat -c %Y "$INSTALL/game.exe")"
  [[ "$content" == "$1" ]] || fail "game.exe holds \"$content\", expected \"$1\""
  [[ "$mtime" == "$2" ]] || fail "game.exe has the time $mtime, expected $2"
  say "game.exe holds \"$content\", time $mtime"
}
