# A journal planted in the game's folder by a program of the player, naming
# files outside the installation: it would put the attacker's file over one
# in the system folder and delete a read-only file elsewhere. The next start,
# even one cancelled at the first page, changes nothing outside the
# installation and sets the journal aside as ~UPD.BAD; the update after it
# completes.
source "$(dirname "$CASE")/../launch_common.sh"
make_release
install_game

SYSTEM="$WINEPREFIX/drive_c/windows/system32"
VICTIM="$SYSTEM/upd_planted_victim.dll"
ELSEWHERE="$WORK/elsewhere"
rm -f "$VICTIM"
printf 'system file' >"$VICTIM"
mkdir -p "$ELSEWHERE"
chmod u+w "$ELSEWHERE/readonly.txt" 2>/dev/null
printf 'read-only file' >"$ELSEWHERE/readonly.txt"
chmod a-w "$ELSEWHERE/readonly.txt"
printf 'attacker' >"$INSTALL/evil.dll"

# One journal line: the record, a tab, its FNV-1a checksum, CR LF.
journal_line() {
  local LC_ALL=C text="$1" sum=2166136261 i byte
  for ((i = 0; i < ${#text}; i++)); do
    printf -v byte '%d' "'${text:i:1}"
    sum=$((((sum ^ (byte & 255)) * 16777619) & 0xFFFFFFFF))
  done
  printf '%s\t%08x\r\n' "$text" "$sum"
}
install_dos="$(winepath -w "$INSTALL" 2>/dev/null)"
elsewhere_dos="$(winepath -w "$ELSEWHERE" 2>/dev/null)"
zero=0000000000000000
{
  journal_line 'UPDJ 1'
  journal_line "T 0 00000080 0 $zero $zero $zero C:\\windows\\system32\\upd_planted_victim.dll"
  journal_line 'S 0 C:\windows\system32\~upd0.tmp'
  journal_line "K 0 $install_dos\\evil.dll"
  journal_line "T 1 ffffffff 0 $zero $zero $zero $elsewhere_dos\\readonly.txt"
  journal_line "S 1 $elsewhere_dos\\~upd9.tmp"
} >"$INSTALL/~UPD.JNL"
cp "$INSTALL/~UPD.JNL" "$WORK/planted.jnl"

start_updater "$WORK/UPDATE.EXE"
drive wait-wizard "$CAPTION" 30000 click "$CAPTION" 2 wait-box 10000 \
  expect-box-text "アップデートが中断されました" answer-box ok 10000
expect_exit 0 30

[[ "$(cat "$VICTIM")" == 'system file' ]] || fail "the system file was replaced"
[[ "$(cat "$ELSEWHERE/readonly.txt" 2>/dev/null)" == 'read-only file' ]] ||
  fail "the read-only file elsewhere was removed"
[[ "$(cat "$INSTALL/evil.dll" 2>/dev/null)" == attacker ]] || fail "evil.dll was moved"
[[ ! -e "$INSTALL/~UPD.JNL" ]] || fail "the planted journal is still in the way"
cmp -s "$INSTALL/~UPD.BAD" "$WORK/planted.jnl" || fail "the journal was not set aside as ~UPD.BAD"
say "nothing outside the installation changed; the journal is set aside"

start_updater "$WORK/UPDATE.EXE"
drive wait-wizard "$CAPTION" 30000 click "$CAPTION" 1 \
  wait-control-text "$CAPTION" 1001 "アップデートを実行します" 10000 click "$CAPTION" 1 \
  wait-control-text "$CAPTION" 1001 "アップデートは完了しました" 30000 click "$CAPTION" 1 \
  wait-gone "$CAPTION" 30000
expect_exit 1 30
expect_game "new game" "$ENTRY_TIME"
