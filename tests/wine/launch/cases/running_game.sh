# The game runs: the prompt names the installation's title under the
# composed caption; OK while the game still runs asks again; once the game
# has ended, OK opens the wizard. Then Cancel at the prompt of a second run
# brings the game forward and ends with 0.
source "$(dirname "$CASE")/../launch_common.sh"
make_release
install_game
prompt="「星の旅路DX」が実行中です。アップデートを続行する場合はゲームを終了してから [OK] を、アップデートを中止する場合は [キャンセル] を押して下さい"

game_window "星の旅路DX"
start_updater "$WORK/UPDATE.EXE"
drive wait-box 30000 expect-box-caption "$CAPTION" expect-box-text "$prompt"
screenshot game_prompt
drive answer-box ok 10000 wait-box 10000 expect-box-text "$prompt"
probe close-window StarJourneyWnd "星の旅路DX" 10000
drive answer-box ok 10000 wait-wizard "$CAPTION" 30000 click "$CAPTION" 2 \
  wait-box 10000 expect-box-text "アップデートが中断されました" answer-box ok 10000
expect_exit 0 30

game_window "星の旅路DX"
start_updater "$WORK/UPDATE.EXE"
drive wait-box 30000 expect-box-text "$prompt" answer-box cancel 10000
expect_exit 0 30
probe wait-foreground StarJourneyWnd "星の旅路DX" 5000
probe close-window StarJourneyWnd "星の旅路DX" 10000
expect_game "old game" "$(date -d '2001-01-01 00:00 UTC' +%s)"
