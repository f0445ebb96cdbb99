# An updater carrying an archive with UPDATE.INI: while the first message
# box after the extraction is open, UPDATE.INI lies in the user's temp
# folder; once the box is answered the updater ends with 0 and the file is
# gone. The INI names an installation that this prefix does not have, so
# that box is the missing installation's.
printf '[SETUP]\r\nCompanyName=WineTestCompany\r\nGameTitle=WineTestGame\r\nGameClass=WineTestClass\r\nGameDir=WineTestDir\r\n' \
  >"$WORK/UPDATE.INI"
make_archive "$WORK/update.vq2" "UPDATE.INI=$WORK/UPDATE.INI"
link_updater "$WORK/update.vq2" "$WORK/update.exe"
clear_temp_file UPDATE.INI

start_updater "$WORK/update.exe"
drive wait-box 30000 expect-box-caption UPDATE \
  expect-box-text "「WineTestGame」がインストールされていません" temp-file UPDATE.INI exists
screenshot box
drive answer-box ok 10000
expect_exit 0 30
drive temp-file UPDATE.INI absent
