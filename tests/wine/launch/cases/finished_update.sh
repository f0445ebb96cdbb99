# A whole update: the notice, the welcome and confirmation pages, the run
# and the completion page; game.exe gets the archive's content and time and
# the exit code is 1.
source "$(dirname "$CASE")/../launch_common.sh"
make_release 'UpdateMessage=星の旅路 Ver1.01 のアップデータです。'
install_game

start_updater "$WORK/UPDATE.EXE"
drive wait-box 30000 expect-box-caption UPDATE \
  expect-box-text "星の旅路 Ver1.01 のアップデータです。"
screenshot notice
drive answer-box ok 10000 wait-wizard "$CAPTION" 30000
screenshot welcome
probe control "$CAPTION" 1001 "text=「星の旅路DX」のアップデートを開始します"
probe control "$CAPTION" 1 enabled "text=次へ"
probe control "$CAPTION" 4 disabled
probe control "$CAPTION" 2 enabled

drive click "$CAPTION" 1 wait-control-text "$CAPTION" 1001 "アップデートを実行します" 10000
screenshot confirmation

drive click "$CAPTION" 1 wait-control-text "$CAPTION" 1001 "アップデートは完了しました" 10000
screenshot complete
probe control "$CAPTION" 1 enabled "text=完了"
probe control "$CAPTION" 2 disabled
expect_game "new game" "$ENTRY_TIME"

drive click "$CAPTION" 1 wait-gone "$CAPTION" 10000
expect_exit 1 30
drive temp-file UPDATE.INI absent
