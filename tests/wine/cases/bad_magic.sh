# An updater whose archive cannot be opened (its magic number is spoilt):
# "RESOURCE READ ERROR", nothing extracted, exit code 0.
printf '[SETUP]\r\n' >"$WORK/UPDATE.INI"
make_archive --bad-magic "$WORK/bad.vq2" "UPDATE.INI=$WORK/UPDATE.INI"
link_updater "$WORK/bad.vq2" "$WORK/bad.exe"
clear_temp_file UPDATE.INI

start_updater "$WORK/bad.exe"
drive wait-box 30000 expect-box-caption UPDATE expect-box-text "RESOURCE READ ERROR" \
  temp-file UPDATE.INI absent
screenshot box
drive answer-box ok 10000
expect_exit 0 30
