# Cancel on the welcome page: "アップデートが中断されました" under the
# composed caption, exit code 0, game.exe untouched.
source "$(dirname "$CASE")/../launch_common.sh"
make_release
install_game

start_updater "$WORK/UPDATE.EXE"
drive wait-wizard "$CAPTION" 30000 click "$CAPTION" 2 wait-box 10000 \
  expect-box-caption "$CAPTION" expect-box-text "アップデートが中断されました"
screenshot interrupted
drive answer-box ok 10000
expect_exit 0 30
expect_game "old game" "$(date -d '2001-01-01 00:00 UTC' +%s)"
