# Which bcrypt.dll each way of loading takes when one is planted beside the
# program and Wine prefers a native bcrypt.dll wherever its search finds
# one: a plain LoadLibraryA takes the planted one (so the case sees a load),
# each way of the updater the system's, also the way for Windows that lacks
# LOAD_LIBRARY_SEARCH_SYSTEM32.
# shellcheck shell=bash

PROBE="$WIN64/tests/wine/dll_search/dll_search_probe.exe"
PLANTED="$WIN64/tests/wine/dll_search/planted.dll"
for file in "$PROBE" "$PLANTED"; do
  [[ -e "$file" ]] || skip "$file is missing (build the win64 preset first)"
done
APP="$WORK/app"
MARK="$APP/PLANTED.MARK"
mkdir -p "$APP"
cp "$PROBE" "$APP/" || fail "cannot copy the probe"
cp "$PLANTED" "$APP/bcrypt.dll" || fail "cannot plant bcrypt.dll beside the probe"
PLANTED_DOS="$(winepath -w "$APP/bcrypt.dll" 2>/dev/null)" || fail "winepath failed"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;bcrypt=n,b"

# Loads BCRYPT.DLL in the way $1; sets LOADED, the file it came from, and
# SYSTEM, the system folder.
load() {
  rm -f "$MARK"
  say "> probe $1 BCRYPT.DLL"
  timeout -k 5 "$STEP_SECONDS" wine "$APP/dll_search_probe.exe" "$1" BCRYPT.DLL \
    >"$WORK/probe.out" 2>&1 </dev/null
  local status=$?
  cat "$WORK/probe.out"
  ((status == 0)) || fail "the probe's way $1 loaded no BCRYPT.DLL (status $status)"
  LOADED="$(sed -n 's/^loaded //p' "$WORK/probe.out" | tr -d '\r')"
  SYSTEM="$(sed -n 's/^system //p' "$WORK/probe.out" | tr -d '\r')"
}

load plain
[[ -e "$MARK" && "${LOADED,,}" == "${PLANTED_DOS,,}" ]] ||
  fail "a plain load did not take the planted bcrypt.dll: the case could not see a load"

for way in restricted table by-flag by-path; do
  load "$way"
  [[ ! -e "$MARK" ]] || fail "the way $way loaded the planted bcrypt.dll"
  [[ "${LOADED,,}" == "${SYSTEM,,}\\bcrypt.dll" ]] ||
    fail "the way $way loaded $LOADED, not the system's bcrypt.dll"
done
say "every way of the updater took the system's bcrypt.dll"
