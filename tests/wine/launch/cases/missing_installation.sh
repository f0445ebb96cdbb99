# No registry key for the game: "「星の旅路」がインストールされていません"
# (UPDATE.INI's title) under the caption "UPDATE", exit code 0.
source "$(dirname "$CASE")/../launch_common.sh"
make_release
remove_installation_key

start_updater "$WORK/UPDATE.EXE"
drive wait-box 30000 expect-box-caption UPDATE \
  expect-box-text "「星の旅路」がインストールされていません"
screenshot not_installed
drive answer-box ok 10000
expect_exit 0 30
drive temp-file UPDATE.INI absent
