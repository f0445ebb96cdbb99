# The agreement: template 101 with the text, Next disabled until "同意する"
# is chosen and again after "同意しない"; agreed, the update runs to the end.
source "$(dirname "$CASE")/../launch_common.sh"
make_release 'AgreementText=AGREE.TXT'
install_game

start_updater "$WORK/UPDATE.EXE"
drive wait-wizard "$CAPTION" 30000
screenshot agreement
probe control "$CAPTION" 1 disabled
probe control "$CAPTION" 1000 shown enabled
probe control "$CAPTION" 1002 shown unchecked "text=同意する"
probe control "$CAPTION" 1003 shown checked "text=同意しない"

drive click "$CAPTION" 1002 sleep 300
screenshot agreed
probe control "$CAPTION" 1 enabled
probe control "$CAPTION" 1002 checked
drive click "$CAPTION" 1003 sleep 300
probe control "$CAPTION" 1 disabled
probe control "$CAPTION" 1003 checked
drive click "$CAPTION" 1002 sleep 300

drive click "$CAPTION" 1 wait-control-text "$CAPTION" 1001 "アップデートを実行します" 10000
screenshot agreement_confirmation
probe control "$CAPTION" 1000 hidden
probe control "$CAPTION" 1002 hidden
probe control "$CAPTION" 1003 hidden
drive click "$CAPTION" 1 wait-control-text "$CAPTION" 1001 "アップデートは完了しました" 10000 \
  click "$CAPTION" 1 wait-gone "$CAPTION" 10000
expect_exit 1 30
expect_game "new game" "$ENTRY_TIME"
