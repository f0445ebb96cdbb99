# A second updater started while the first shows its wizard: it shows its
# notice, then finds the first wizard, brings it forward and ends with 0
# without a message.
source "$(dirname "$CASE")/../launch_common.sh"
make_release 'UpdateMessage=お知らせ'
install_game

start_updater "$WORK/UPDATE.EXE"
drive wait-box 30000 expect-box-text "お知らせ" answer-box ok 10000 wait-wizard "$CAPTION" 30000

say "> start the second updater"
wine "$WORK/UPDATE.EXE" >"$WORK/second.out" 2>&1 &
second=$!
drive wait-box 30000 expect-box-text "お知らせ"
screenshot second_notice
drive answer-box ok 10000
waited=0
while kill -0 "$second" 2>/dev/null; do
  ((waited++ < 300)) || fail "the second updater still runs"
  sleep 0.1
done
wait "$second"
status=$?
((status == 0)) || fail "the second updater exited with $status, expected 0"
say "the second updater exited with 0"
probe wait-foreground "#32770" "$CAPTION" 5000
screenshot first_wizard_forward

drive click "$CAPTION" 2 wait-box 10000 expect-box-text "アップデートが中断されました" \
  answer-box ok 10000
expect_exit 0 30
