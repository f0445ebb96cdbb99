# The example release of examples/star-journey, end to end: its updater is
# built with `updpack build-exe`, the game is installed into the prefix as
# its installer left it (files, SETUP.INI, registry key), the real updater
# runs through its notice, agreement, confirmation and completion pages, and
# the installation is checked file by file afterwards. Pictures of the
# pages are saved in $WORK/screenshots. Every text is read back through the
# Unicode functions, so that the case checks what the player reads in any
# locale (it runs on a Japanese, an English and a Chinese system).
#
# Under xvfb the case presses the buttons itself. With WINE_TEST_ON_DISPLAY=1
# on a real display (the demo) a person presses them, and every wait lasts up
# to ten minutes.
# shellcheck shell=bash

# shellcheck source=tests/wine/example/example_common.sh
source "$(dirname "$CASE")/example_common.sh"

mkdir -p "$SHOTS"
build_release
install_game
snapshot >"$WORK/before.txt"

start_updater "$WORK/STARUPD.EXE"
[[ -n "$BY_HAND" ]] && say "The updater is open on your display: read each page and press its buttons."
drive wait-box "$WAIT_MS" expect-box-caption UPDATE expect-box-text "$NOTICE"
capture capture-box 1-notice
if [[ -n "$BY_HAND" ]]; then drive wait-box-gone "$WAIT_MS"; else drive answer-box ok 10000; fi

drive wait-wizard "$CAPTION" "$WAIT_MS"
drive expect-control-file "$CAPTION" 1000 "$(winepath -w "$EXAMPLE/update/AGREE.TXT" 2>/dev/null)" \
  wait-control-text "$CAPTION" 1002 "同意する" 2000 wait-control-text "$CAPTION" 1003 "同意しない" 2000 \
  wait-control-text "$CAPTION" 1 "次へ" 2000 wait-control-text "$CAPTION" 2 "中止" 2000 \
  wait-control-text "$CAPTION" 4 "戻る" 2000
capture capture-wizard 2-agreement "$CAPTION"
[[ -z "$BY_HAND" ]] && drive click "$CAPTION" 1002 sleep 300 click "$CAPTION" 1
drive wait-control-text "$CAPTION" 1001 "アップデートを実行します" "$WAIT_MS"
capture capture-wizard 3-confirmation "$CAPTION"
[[ -z "$BY_HAND" ]] && drive click "$CAPTION" 1
drive wait-control-text "$CAPTION" 1001 "アップデートは完了しました" "$WAIT_MS" \
  wait-control-text "$CAPTION" 1 "完了" 2000
capture capture-wizard 4-complete "$CAPTION"
[[ -z "$BY_HAND" ]] && drive click "$CAPTION" 1
drive wait-gone "$CAPTION" "$WAIT_MS"
expect_exit 1 30

snapshot >"$WORK/after.txt"
report_changes "$WORK/before.txt" "$WORK/after.txt"

new="$EXAMPLE/update/files"
old="$EXAMPLE/installed"
expect_same game.exe "$new/game.exe"                 # plain line: always written
expect_same data/script.txt "$new/data/script.txt"   # "u": the installed one is older
expect_same data/config.dat "$old/data/config.dat"   # "d": the player's settings stay
expect_same readme.txt "$new/readme.txt"             # "o": it was installed
expect_absent manual.txt                             # "o": it was not
expect_absent bonus.txt                              # install mode 2 only; this is mode 1
expect_same data/extra.txt "$new/data/extra.txt"     # install mode 1
expect_same uninst.exe "$old/uninst.exe"
[[ "$(stat -c %Y "$GAME/game.exe")" == "$(date -d "$RELEASE_TIME" +%s)" ]] ||
  fail "game.exe does not carry the release's time"
say "screenshots of the pages: $SHOTS"
