# The example's updater started from a folder where a program of the player
# has put DLLs under system DLLs' names (the Downloads folder): bcrypt.dll,
# which the updater's digest check loads by name, and uxtheme.dll, which the
# system's user32 loads by name when the first window opens. Wine is told to
# prefer a native DLL of those names wherever its search finds one, so a
# planted DLL would be loaded if the search reached the updater's folder.
# Neither is: no mark, and the updater checks its digest with the system's
# hashing and completes the update.
# shellcheck shell=bash
# shellcheck source=tests/wine/example/example_common.sh
source "$(dirname "$CASE")/../example/example_common.sh"

PLANTED="$WIN64/tests/wine/dll_search/planted.dll"
[[ -e "$PLANTED" ]] || skip "$PLANTED is missing (build the win64 preset first)"
MARK="$WORK/PLANTED.MARK"

expect_no_mark() {
  [[ ! -e "$MARK" ]] || fail "the updater loaded DLLs planted beside it: $(paste -sd ' ' "$MARK")"
}

build_release
for name in bcrypt.dll uxtheme.dll; do
  cp "$PLANTED" "$WORK/$name" || fail "cannot plant $name"
done
install_game
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;bcrypt,uxtheme=n,b"

start_updater "$WORK/STARUPD.EXE"
drive wait-box 30000
expect_no_mark
drive expect-box-caption UPDATE expect-box-text "$NOTICE" answer-box ok 10000
drive wait-wizard "$CAPTION" 30000 click "$CAPTION" 1002 sleep 300 click "$CAPTION" 1 \
  wait-control-text "$CAPTION" 1001 "アップデートを実行します" 30000 click "$CAPTION" 1 \
  wait-control-text "$CAPTION" 1001 "アップデートは完了しました" 30000 click "$CAPTION" 1 \
  wait-gone "$CAPTION" 30000
expect_exit 1 30
expect_no_mark
expect_same game.exe "$EXAMPLE/update/files/game.exe"
say "no planted DLL was loaded; the update completed"
