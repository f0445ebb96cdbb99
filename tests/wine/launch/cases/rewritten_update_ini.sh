# The temp folder's UPDATE.INI is the player's to change: while the wizard
# waits, a second start of the updater deletes it (and is refused), and a
# program of the player writes one that points outside the installation.
# The run reads the archive's own UPDATE.INI: it writes game.exe into the
# installation and nothing outside.
source "$(dirname "$CASE")/../launch_common.sh"
make_release
install_game
OUTSIDE="$WORK/outside"
rm -rf "$OUTSIDE"
mkdir -p "$OUTSIDE"

start_updater "$WORK/UPDATE.EXE"
drive wait-wizard "$CAPTION" 30000 click "$CAPTION" 1 \
  wait-control-text "$CAPTION" 1001 "アップデートを実行します" 10000
temp_ini="$(find "$WINEPREFIX/drive_c/users" -ipath '*/temp/*' -iname UPDATE.INI | head -n 1)"
[[ -n "$temp_ini" ]] || fail "the first updater left no UPDATE.INI in the temp folder"

say "> start the second updater"
wine "$WORK/UPDATE.EXE" >"$WORK/second.out" 2>&1 &
second=$!
waited=0
while kill -0 "$second" 2>/dev/null; do
  ((waited++ < 300)) || fail "the second updater still runs"
  sleep 0.1
done
wait "$second" || fail "the second updater did not exit with 0"
[[ ! -e "$temp_ini" ]] || fail "the second updater left the temp UPDATE.INI"

to_cp932 "$temp_ini" '[SETUP]' 'CompanyName=ExampleSoft' 'GameTitle=星の旅路' \
  'GameClass=UpdateIniClass' 'GameDir=StarJourney' 'UpdaterVersion=Ver1.01' '[UPDATE]' \
  'UpdateFile00=..\outside\game.exe'
say "rewrote $temp_ini"

drive click "$CAPTION" 1 \
  wait-control-text "$CAPTION" 1001 "アップデートは完了しました" 30000 click "$CAPTION" 1 \
  wait-gone "$CAPTION" 30000
expect_exit 1 30
expect_game "new game" "$ENTRY_TIME"
[[ -z "$(ls -A "$OUTSIDE")" ]] || fail "the run wrote outside the installation: $(ls -A "$OUTSIDE")"
say "the run followed the archive's UPDATE.INI"
