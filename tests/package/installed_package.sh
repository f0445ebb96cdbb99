#!/bin/bash
# Builds the Debian package of updpack from the native build BUILD, installs
# it into an empty root (WORK/root) and checks it as a release engineer
# meets it: the package's name, dependencies and files, the manual page
# covering every option, `updpack --version`, and updaters of both
# architectures built by the installed updpack with no compiler able to run
# (traced-updpack.sh), the same bytes as the build's own updpack makes.
# WORK/root stays for the example's Wine test, which builds its updater
# with the installed updpack.
#
# Usage: installed_package.sh BUILD WORK
set -uo pipefail
build="$1"
work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source="$(cd "$here/../.." && pwd)"
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
say() { echo "-- $*"; }

rm -rf "$work"
mkdir -p "$work/package" "$work/root"
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
debs=("$work"/package/updpack_*.deb)
((${#debs[@]} == 1)) && [[ -f "${debs[0]}" ]] || fail "cpack made no single updpack_*.deb"
deb="${debs[0]}"
say "$(basename "$deb"), $(stat -c %s "$deb") bytes"

# The package's control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == updpack ]] || fail "the package is named $(field Package)"
[[ "$(field Recommends)" == *osslsigncode* ]] || fail "osslsigncode is not recommended"
for library in libc6 libssl libstdc++; do
  [[ "$(field Depends)" == *"$library"* ]] || fail "Depends lacks $library: $(field Depends)"
done
[[ "$(field Description)" == *"no compiler is needed"* && "$(field Description)" != *";"* ]] ||
  fail "the description is not one text: $(field Description)"
say "Depends: $(field Depends)"

# Installed into an empty root: the command, its manual page and its
# documentation, and nothing else.
dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb could not unpack the package"
expected="./usr/bin/updpack
./usr/share/doc/updpack/build-exe.md
./usr/share/doc/updpack/releasing.md
./usr/share/doc/updpack/updpack.md
./usr/share/man/man1/updpack.1"
files="$(cd "$work/root" && find . -type f | LC_ALL=C sort)"
[[ "$files" == "$expected" ]] || fail "the package holds:"$'\n'"$files"$'\n'"expected:"$'\n'"$expected"
updpack="$work/root/usr/bin/updpack"
man="$work/root/usr/share/man/man1/updpack.1"

# The manual page names every option of every command.
for command in "" create list extract verify build-exe; do
  # shellcheck disable=SC2086  # no command: the options of updpack itself
  options="$("$updpack" $command --help | grep -o -- '--[a-z][a-z-]*' | sort -u)"
  [[ -n "$options" ]] || fail "updpack $command --help names no option"
  for option in $options; do
    grep -qF -- "${option//-/\\-}" "$man" || fail "the manual page lacks $command $option"
  done
done
grep -qF "updpack $("$updpack" --version | head -1 | cut -d' ' -f2)" "$man" ||
  fail "the manual page names another version"

# --version: the version, and the updaters it carries, as built.
version="$("$updpack" --version)" || fail "updpack --version failed"
echo "$version"
[[ "$version" == "$("$build/tools/updpack/updpack" --version)" ]] ||
  fail "the installed updpack is not the one built"
for arch in win32 win64; do
  [[ "$version" == *"carries the $arch updater: "* ]] || fail "--version names no $arch updater"
done

# Updaters of the example release from the installed updpack, with no
# compiler able to run and no file of the source tree read; the same bytes
# as the build's updpack makes.
release="$(mktemp -d)"
trap 'rm -rf "$release"' EXIT
"$source/examples/star-journey/stage-release.sh" "$release/files" || fail "staging failed"
for arch in win32 win64; do
  options=(build-exe --arch "$arch" --product '星の旅路' --company ExampleSoft
           --file-version 1.0.1.0 --product-version 1.0.1.0)
  mkdir -p "$release/$arch" "$release/$arch-built"
  UPDPACK_INSTALLED="$updpack" UPDPACK_SOURCE="$source" "$here/traced-updpack.sh" \
    "${options[@]}" -o "$release/$arch/STARUPD.EXE" "$release/files" ||
    fail "the installed updpack could not build the $arch updater on its own"
  "$build/tools/updpack/updpack" "${options[@]}" -o "$release/$arch-built/STARUPD.EXE" \
    "$release/files" >/dev/null || fail "the build's updpack failed"
  cmp -s "$release/$arch/STARUPD.EXE" "$release/$arch-built/STARUPD.EXE" ||
    fail "the installed and the built updpack made different $arch updaters"
  "$updpack" verify --require-digest "$release/$arch/STARUPD.EXE" >/dev/null ||
    fail "the $arch updater is not sound"
done
say "both updaters built by the installed updpack alone"
