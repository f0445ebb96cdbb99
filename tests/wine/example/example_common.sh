# The example release of examples/star-journey as the Wine cases use it:
# building its updater with `updpack build-exe`, installing the game into
# the prefix as its installer left it, and looking at the installation
# before and after. Sourced by the cases of this folder.
# shellcheck shell=bash

EXAMPLE="$(cd "$(dirname "$CASE")/../../../examples/star-journey" && pwd)"
UPDPACK="${UPDPACK:-$TOOLS/../../tools/updpack/updpack}"
[[ -x "$UPDPACK" ]] || skip "$UPDPACK is missing (build the native preset first)"

GAME="$WINEPREFIX/drive_c/Games/StarJourney"
CAPTION="星の旅路 アップデータ Ver1.01"
# UPDATE.INI's UpdateMessage, its "\n" shown as a line break.
NOTICE=$'星の旅路 Ver1.01 アップデータです。\rゲームを終了してから実行して下さい。'
RELEASE_TIME='2026-12-01 12:00 UTC'   # the update's files (stage-release.sh)
INSTALL_TIME='2025-04-01 12:00 UTC'   # the installed Ver1.00
SHOTS="$WORK/screenshots"
BY_HAND=""
[[ -n "${WINE_TEST_ON_DISPLAY:-}" && -n "${DISPLAY:-}" ]] && BY_HAND=1
WAIT_MS=30000
[[ -n "$BY_HAND" ]] && WAIT_MS=600000

# The release as the engineer ships it (stage-release.sh), built for the
# Wine here with the win64 updater that updpack carries (the shipped build is
# win32). UPDPACK, when set, names the updpack to build it with. SIGN_OPTIONS, when a case sets it, holds build-exe's signing
# options.
build_release() {
  "$EXAMPLE/stage-release.sh" "$WORK/release" || fail "staging the release failed"
  say "> updpack build-exe ${SIGN_OPTIONS[*]:-}"
  "$UPDPACK" build-exe -o "$WORK/STARUPD.EXE" --arch win64 --product '星の旅路' \
    --company ExampleSoft --file-version 1.0.1.0 --product-version 1.0.1.0 \
    ${SIGN_OPTIONS[@]+"${SIGN_OPTIONS[@]}"} "$WORK/release" ||
    fail "updpack build-exe failed"
}

# The installed game: its files, its SETUP.INI in code page 932, and the
# registry values of installed/registry.reg.
install_game() {
  rm -rf "$GAME"
  mkdir -p "$GAME"
  (cd "$EXAMPLE/installed" && find . -type f ! -name registry.reg ! -name SETUP.INI \
    -exec cp --parents {} "$GAME/" \;)
  iconv -f UTF-8 -t CP932 "$EXAMPLE/installed/SETUP.INI" >"$GAME/SETUP.INI" ||
    fail "cannot convert SETUP.INI"
  find "$GAME" -exec touch -d "$INSTALL_TIME" {} +
  import_registry "$EXAMPLE/installed/registry.reg"
  say "installed the game at C:\\Games\\StarJourney"
}

# Reads the simple .reg file of the example: one key, text and dword values.
import_registry() {
  local key="" line name value
  while IFS= read -r line; do
    line="${line%$'\r'}"
    if [[ "$line" =~ ^\[HKEY_CURRENT_USER\\(.*)\]$ ]]; then
      key="HKCU\\${BASH_REMATCH[1]}"
      wine reg delete "$key" /f >/dev/null 2>&1
    elif [[ "$line" =~ ^\"([^\"]+)\"=\"(.*)\"$ ]]; then
      name="${BASH_REMATCH[1]}"
      value="${BASH_REMATCH[2]//\\\\/\\}"
      wine reg add "$key" /v "$name" /d "$value" /f >/dev/null 2>&1 ||
        fail "cannot write $name of $key"
    elif [[ "$line" =~ ^\"([^\"]+)\"=dword:([0-9a-fA-F]{8})$ ]]; then
      wine reg add "$key" /v "${BASH_REMATCH[1]}" /t REG_DWORD /d "$((16#${BASH_REMATCH[2]}))" \
        /f >/dev/null 2>&1 || fail "cannot write ${BASH_REMATCH[1]} of $key"
    fi
  done <"$1"
}

# One line per file of the installation: path, size, time and a checksum.
snapshot() {
  (cd "$GAME" && find . -type f -printf '%P\t%s\t%TY-%Tm-%Td %TH:%TM\n' | sort |
    while IFS=$'\t' read -r path size time; do
      printf '%s\t%s\t%s\t%s\n' "$path" "$size" "$time" "$(md5sum <"$path" | cut -c1-8)"
    done)
}

# What the update did to the installation, file by file.
report_changes() {
  say "What changed in C:\\Games\\StarJourney:"
  join -t $'\t' -a 1 -a 2 -e '-' -o '0,1.2,1.3,1.4,2.2,2.3,2.4' "$1" "$2" |
    while IFS=$'\t' read -r path size0 time0 sum0 size1 time1 sum1; do
      if [[ "$sum0" == '-' ]]; then
        printf '  added      %-18s %5s bytes, %s\n' "$path" "$size1" "$time1"
      elif [[ "$sum1" == '-' ]]; then
        printf '  removed    %-18s\n' "$path"
      elif [[ "$sum0" != "$sum1" ]]; then
        printf '  replaced   %-18s %5s bytes, %s (was %s bytes, %s)\n' "$path" "$size1" \
          "$time1" "$size0" "$time0"
      elif [[ "$time0" != "$time1" ]]; then
        printf '  rewritten  %-18s same content, %s (was %s)\n' "$path" "$time1" "$time0"
      else
        printf '  unchanged  %-18s\n' "$path"
      fi
    done
}

# The installation after the update: a file holds what it should.
expect_same() {
  cmp -s "$GAME/$1" "$2" || fail "$1 does not hold $(basename "$(dirname "$2")")/$(basename "$2")"
}
expect_absent() {
  [[ ! -e "$GAME/$1" ]] || fail "$1 should not have been written"
}

capture() {
  local bmp="$SHOTS/$2.bmp"
  drive "$1" "${@:3}" "$(winepath -w "$bmp" 2>/dev/null)"
  if command -v convert >/dev/null 2>&1 && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null; then
    rm -f "$bmp"
    bmp="${bmp%.bmp}.png"
  fi
  say "screenshot: $bmp"
}

