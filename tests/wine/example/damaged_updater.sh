# The example's updater with one byte of its archive changed, as a damaged
# download would have it: the updater says it is damaged before it reads
# the archive, writes nothing (no UPDATE.INI in the temp folder, the game as
# it was) and ends with 0.
# shellcheck shell=bash
# shellcheck source=tests/wine/example/example_common.sh
source "$(dirname "$CASE")/example_common.sh"

# Changes the byte at OFFSET of FILE in place.
flip_byte() {
  local file="$1" offset="$2" byte
  byte=$(od -An -tu1 -j "$offset" -N1 "$file" | tr -d ' ')
  printf "\\x$(printf '%02x' $((byte ^ 0x20)))" |
    dd of="$file" bs=1 seek="$offset" conv=notrunc status=none || fail "cannot change $file"
}

build_release
read -r archive_offset archive_size < <("$TOOLS/pe_report" "$WORK/STARUPD.EXE" UPDATE '#102') ||
  fail "the updater has no archive resource"
# A byte in the middle of the stored files.
flip_byte "$WORK/STARUPD.EXE" $((archive_offset + archive_size / 2))
install_game
snapshot >"$WORK/before.txt"
clear_temp_file UPDATE.INI

start_updater "$WORK/STARUPD.EXE"
drive wait-box 30000 expect-box-caption UPDATE \
  expect-box-text "このアップデートプログラムは破損しています。お手数ですが、アップデートプログラムをもう一度入手してから実行して下さい" \
  temp-file UPDATE.INI absent
mkdir -p "$SHOTS"
capture capture-box damaged
drive answer-box ok 10000
expect_exit 0 30

snapshot >"$WORK/after.txt"
cmp -s "$WORK/before.txt" "$WORK/after.txt" || {
  report_changes "$WORK/before.txt" "$WORK/after.txt"
  fail "the damaged updater changed the installation"
}
drive temp-file UPDATE.INI absent
say "the installation is unchanged"
