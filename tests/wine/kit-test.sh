#!/bin/bash
# Checks an updater kit (build/<preset>/kit) without running anything under
# Wine: link-updater.sh gives the same bytes for the same inputs, embeds the
# archive unchanged as "UPDATE" 102 in Japanese, writes the release strings
# and versions into the version resource, keeps the defaults when none are
# given, and refuses bad arguments without leaving an output behind.
#
# Usage: kit-test.sh KIT TOOLS WORK
#   KIT    the kit folder; TOOLS the folder of make_test_archive and
#   pe_report; WORK a folder for this test's files (emptied).
# Exit status: 0 passed, 1 failed, 77 skipped (no kit).
set -uo pipefail
KIT="$1"
TOOLS="$2"
WORK="$3"

[[ -x "$KIT/link-updater.sh" ]] || { echo "SKIPPED: no kit at $KIT"; exit 77; }
rm -rf "$WORK"
mkdir -p "$WORK"

fail() {
  echo "FAILED: $*"
  exit 1
}

# Every expected line must appear, exactly, in pe_report's report.
expect_lines() {
  local report="$1" line
  shift
  for line in "$@"; do
    grep -Fxq -- "$line" "$report" || fail "$(basename "$report") lacks: $line"
  done
}

head -c 70000 /dev/urandom >"$WORK/data.bin"
printf '[SETUP]\r\nCompanyName=Kit\r\n' >"$WORK/UPDATE.INI"
"$TOOLS/make_test_archive" "$WORK/update.vq2" "UPDATE.INI=$WORK/UPDATE.INI" \
  "DATA.BIN=$WORK/data.bin" || fail "making the archive failed"

release=(--product 'テストゲーム "Deluxe"' --company 'Kit \ Company'
         --original-filename 'PATCH102.EXE' --file-version 1.2.3.4 --product-version 5.06.7.65535)
for n in 1 2; do
  "$KIT/link-updater.sh" "$WORK/update.vq2" "$WORK/release$n.exe" "${release[@]}" ||
    fail "link $n failed"
done
cmp "$WORK/release1.exe" "$WORK/release2.exe" || fail "two links of the same inputs differ"
echo "two links are identical: $(stat -c %s "$WORK/release1.exe") bytes"

"$TOOLS/pe_report" "$WORK/release1.exe" >"$WORK/release.txt" || fail "pe_report failed"
architecture=$(grep -o 'processorArchitecture="[^"]*"' "$WORK/release.txt")
case "$(head -1 "$WORK/release.txt")" in
  "machine 0x014c PE32") [[ "$architecture" == 'processorArchitecture="X86"' ]] ||
    fail "an i686 image with $architecture" ;;
  "machine 0x8664 PE32+") [[ "$architecture" == 'processorArchitecture="amd64"' ]] ||
    fail "an x86-64 image with $architecture" ;;
  *) fail "unexpected machine: $(head -1 "$WORK/release.txt")" ;;
esac
expect_lines "$WORK/release.txt" \
  "resource UPDATE #102 0x0411 $(stat -c %s "$WORK/update.vq2")" \
  'fixed-file-version 1.2.3.4' \
  'fixed-product-version 5.6.7.65535' \
  'string 041103a4 ProductName=テストゲーム "Deluxe"' \
  'string 041103a4 CompanyName=Kit \ Company' \
  'string 041103a4 OriginalFilename=PATCH102.EXE' \
  'string 041103a4 FileVersion=1.2.3.4' \
  'string 041103a4 ProductVersion=5.06.7.65535' \
  'string 041103a4 FileDescription=Game patch program' \
  '        <requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>'
"$TOOLS/pe_report" "$WORK/release1.exe" UPDATE '#102' "$WORK/embedded.vq2" ||
  fail "the archive resource cannot be read back"
cmp "$WORK/update.vq2" "$WORK/embedded.vq2" || fail "the embedded archive differs from the input"

"$KIT/link-updater.sh" "$WORK/update.vq2" "$WORK/plain.exe" || fail "link without options failed"
"$TOOLS/pe_report" "$WORK/plain.exe" >"$WORK/plain.txt" || fail "pe_report failed"
expect_lines "$WORK/plain.txt" \
  'fixed-file-version 1.0.0.0' 'fixed-product-version 1.0.2.0' \
  'string 041103a4 FileVersion=1.0.0.0' 'string 041103a4 ProductVersion=1.0.2.0' \
  'string 041103a4 OriginalFilename=UPDATE.EXE'

# Bad arguments: status 2, and an existing output stays as it was.
cp "$WORK/plain.exe" "$WORK/kept.exe"
bad_calls=(
  "$WORK/missing.vq2|"
  "$WORK/update.vq2|--file-version 1.2.3"
  "$WORK/update.vq2|--product-version 1.2.3.65536"
  "$WORK/update.vq2|--unknown x"
  "$WORK/update.vq2|--product"
)
: >"$WORK/empty.vq2"
bad_calls+=("$WORK/empty.vq2|")
for call in "${bad_calls[@]}"; do
  archive="${call%%|*}"
  read -ra options <<<"${call#*|}"
  "$KIT/link-updater.sh" "$archive" "$WORK/kept.exe" "${options[@]+"${options[@]}"}" 2>"$WORK/error.txt"
  status=$?
  ((status == 2)) || fail "link-updater.sh $archive ${options[*]-} gave $status, expected 2"
  cmp -s "$WORK/plain.exe" "$WORK/kept.exe" || fail "a refused link changed the output"
  echo "refused: ${options[*]-} $(basename "$archive"): $(head -1 "$WORK/error.txt")"
done
if ls -a "$WORK" | grep partial >/dev/null; then fail "a partial output was left behind"; fi
"$KIT/link-updater.sh" "$WORK/update.vq2" "$WORK/release1.exe" --product $'two\nlines' 2>/dev/null &&
  fail "a control character was accepted"
echo "PASSED"
