# The driver's wizard verbs on a stand-in dialog (dialog_fixture.exe):
# finding it by its Japanese caption, reading and waiting for its info line,
# pressing Next, answering the message box that it owns, and the dialog's
# result as the exit code.
caption="ドライバー試験"
start_updater "$WIN64/tests/wine/dialog_fixture.exe"
drive wait-wizard "$caption" 30000 wait-control-text "$caption" 1001 "一回目" 1000 \
  click "$caption" 1 wait-control-text "$caption" 1001 "二回目" 10000
screenshot wizard
drive click "$caption" 1 wait-box 10000 expect-box-caption "$caption" expect-box-text "完了" \
  answer-box ok 10000 wait-gone "$caption" 10000
expect_exit 7 30
