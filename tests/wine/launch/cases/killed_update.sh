# The updater killed at moments spread over its writing, eight times: each
# time the next start, before its wizard, finishes or undoes the killed run,
# and once it is cancelled the installation is all old or all new, with no
# file of the killed run left in its folder.
source "$(dirname "$CASE")/../launch_common.sh"

NAMES=(game.exe data1.pak data2.pak data3.pak movie.dat voice.dat)
FILE_MB=24
to_cp932 "$WORK/UPDATE.INI" '[SETUP]' 'CompanyName=ExampleSoft' 'GameTitle=星の旅路' \
  'GameClass=UpdateIniClass' 'GameDir=StarJourney' 'UpdaterVersion=Ver1.01' '[UPDATE]' \
  'UpdateFile00=game.exe' 'UpdateFile01=data1.pak' 'UpdateFile02=data2.pak' \
  'UpdateFile03=data3.pak' 'UpdateFile04=movie.dat' 'UpdateFile05=voice.dat'
mkdir -p "$WORK/new" "$WORK/old"
entries=("UPDATE.INI=$WORK/UPDATE.INI")
for name in "${NAMES[@]}"; do
  head -c $((FILE_MB << 20)) /dev/urandom >"$WORK/new/$name"
  printf 'old %s' "$name" >"$WORK/old/$name"
  entries+=("$name=$WORK/new/$name")
done
make_archive "$WORK/update.vq2" "${entries[@]}"
link_updater "$WORK/update.vq2" "$WORK/UPDATE.EXE"
clear_temp_file UPDATE.INI

# Every file of the installation's folder, one name a line.
listing() { (cd "$INSTALL" && find . -mindepth 1 | sort); }

# "old" or "new" when every file of the update is all one or the other.
state() {
  local olds=0 news=0 name
  for name in "${NAMES[@]}"; do
    if cmp -s "$INSTALL/$name" "$WORK/old/$name"; then
      ((olds++))
    elif cmp -s "$INSTALL/$name" "$WORK/new/$name" &&
      [[ "$(stat -c %Y "$INSTALL/$name")" == "$ENTRY_TIME" ]]; then
      ((news++))
    fi
  done
  if ((olds == ${#NAMES[@]})); then
    echo old
  elif ((news == ${#NAMES[@]})); then
    echo new
  else
    echo "mixed ($olds old, $news new)"
  fi
}

mid_run=0
trials=0
for delay in 0 0.05 0.1 0.15 0.2 0.25 0.3 0.5; do
  say "== killed after ${delay} s of writing"
  ((trials++))
  rm -rf "$INSTALL"
  install_game
  for name in "${NAMES[@]}"; do cp "$WORK/old/$name" "$INSTALL/$name"; done
  expected_listing="$(listing)"

  start_updater "$WORK/UPDATE.EXE"
  drive wait-wizard "$CAPTION" 30000 click "$CAPTION" 1 \
    wait-control-text "$CAPTION" 1001 "アップデートを実行します" 10000 click "$CAPTION" 1
  sleep "$delay"
  kill -9 "$UPDATER_PID"
  wait "$UPDATER_PID" 2>/dev/null
  UPDATER_PID=""
  drive wait-gone "$CAPTION" 30000
  left="$(listing | grep -c '~' || true)"
  say "after the kill: $(state), $left file(s) of the run in the folder"
  ((left > 0)) && ((mid_run++))

  start_updater "$WORK/UPDATE.EXE"
  drive wait-wizard "$CAPTION" 30000 click "$CAPTION" 2 wait-box 10000 \
    expect-box-text "アップデートが中断されました"
  drive answer-box ok 10000
  expect_exit 0 30
  now="$(state)"
  say "after the next start: $now"
  [[ "$now" == old || "$now" == new ]] || fail "the installation is $now"
  [[ "$(listing)" == "$expected_listing" ]] ||
    fail "the folder holds other files: $(listing | tr '\n' ' ')"
done
say "kills that landed while the run was writing: $mid_run of $trials"
((mid_run > 0)) || fail "no kill landed while the run was writing"
