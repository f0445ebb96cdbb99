#!/bin/bash
# Asks the questions of the INI table (cases.txt) of the Linux reader and of
# GetPrivateProfileStringA of Windows (the win64 probe under Wine, ANSI code
# page 932) and compares the answers byte for byte. The probe also answers
# with the function that the updater's Windows layer binds in its place; its
# answers must be the Linux reader's, under the Japanese locale and under an
# English (1252) and a Chinese (936) one, where the system's function
# converts the code page 932 bytes and loses them.
#
# Usage: run-ini-compare.sh INI_CASES CASES PROBE WORK PREFIX
#   INI_CASES  the native case tool     CASES   the table
#   PROBE      ini_probe.exe of the win64 build
#   WORK       a folder for the files and answers (emptied)
#   PREFIX     the Wine prefix, made on first use
# Exit status: 0 all answers as expected, 1 a difference, 77 skipped.
set -uo pipefail
if (($# != 5)); then
  echo "usage: run-ini-compare.sh INI_CASES CASES PROBE WORK PREFIX" >&2
  exit 2
fi
INI_CASES="$1" CASES="$2" PROBE="$3" WORK="$4" PREFIX="$5"
BOOT_SECONDS=300
RUN_SECONDS=120

skip() {
  echo "SKIPPED: $*"
  exit 77
}
for tool in wine wineboot wineserver timeout flock; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
[[ -f "$PROBE" ]] || skip "$PROBE is missing (build the win64 preset first)"
for locale in ja_JP en_US zh_CN; do
  locale -a 2>/dev/null | grep -i "^$locale\.utf-\?8$" >/dev/null || skip "the locale $locale.UTF-8 is missing"
done

rm -rf "$WORK"
mkdir -p "$WORK/files" "$(dirname "$PREFIX")"
"$INI_CASES" make "$CASES" "$WORK/files" || exit 1
"$INI_CASES" answer "$WORK/files" "$WORK/linux.txt" || exit 1

export WINEPREFIX="$PREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no prompts to install Mono or Gecko
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8

exec 9>"$PREFIX.lock"
flock -w 600 9 || { echo "the prefix $PREFIX stayed locked"; exit 1; }
trap 'timeout 20 wineserver -k 2>/dev/null' EXIT
if [[ ! -f "$PREFIX/.ready" ]]; then
  echo "making the Wine prefix $PREFIX (once)"
  rm -rf "$PREFIX"
  timeout -k 10 "$BOOT_SECONDS" wineboot -i >"$WORK/wineboot.out" 2>&1 ||
    { echo "wineboot failed or took over $BOOT_SECONDS s (see $WORK/wineboot.out)"; exit 1; }
  timeout "$BOOT_SECONDS" wineserver -w
  touch "$PREFIX/.ready"
fi

# Wine's drive Z: is the host's root folder.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Runs the probe in LOCALE, which must give the ANSI code page CODE_PAGE;
# its answers go to windows-LOCALE.txt and layer-LOCALE.txt.
run_probe() {
  local locale="$1" code_page="$2"
  LANG="$locale" LC_ALL="$locale" timeout -k 5 "$RUN_SECONDS" wine "$PROBE" \
    "$(windows_path "$WORK/files/questions.txt")" "$(windows_path "$WORK/files")" \
    "$(windows_path "$WORK/windows-$locale.txt")" "$(windows_path "$WORK/layer-$locale.txt")" \
    >"$WORK/probe-$locale.out" 2>&1
  local status=$?
  cat "$WORK/probe-$locale.out"
  ((status == 0)) || { echo "the probe failed with status $status in $locale"; exit 1; }
  grep -q "^ANSI code page $code_page" "$WORK/probe-$locale.out" ||
    { echo "Wine does not run in code page $code_page in $locale"; exit 1; }
}

status=0
run_probe ja_JP.UTF-8 932
echo "== GetPrivateProfileStringA of Wine (code page 932) and the Linux reader"
"$INI_CASES" compare "$CASES" "$WORK/linux.txt" "$WORK/windows-ja_JP.UTF-8.txt" || status=1
for run in ja_JP.UTF-8:932 en_US.UTF-8:1252 zh_CN.UTF-8:936; do
  locale="${run%%:*}"
  [[ "$locale" == ja_JP.UTF-8 ]] || run_probe "$locale" "${run#*:}"
  echo "== the updater's Windows layer in $locale and the Linux reader"
  "$INI_CASES" same "$CASES" "$WORK/linux.txt" "$WORK/layer-$locale.txt" || status=1
done
exit "$status"
