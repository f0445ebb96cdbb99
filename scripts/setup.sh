#!/bin/bash
# Installs what the builds and tests need on Debian, only what is missing.
# Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev zlib1g-dev liblz4-dev
  libdeflate-dev libssl-dev osslsigncode
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine wine64 xvfb xauth locales fonts-noto-cjk imagemagick x11-apps
  time  # /usr/bin/time -v, for bench/updpack_memory.sh
  dpkg-dev file strace  # the package of updpack: its dependencies, and what it runs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes its ANSI code page from the locale: Japanese (932) as the game's
# players have it, English (1252) and Chinese (936) as players abroad do.
generate=()
for name in ja_JP en_US zh_CN; do
  locale -a 2>/dev/null | grep -i "^$name.utf8$" >/dev/null || generate+=("$name")
done
if ((${#generate[@]})); then
  for name in "${generate[@]}"; do
    sed -i "s/^# *$name.UTF-8 UTF-8/$name.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" >> /etc/locale.gen
  done
  locale-gen >/dev/null
fi

# Every command the tests and the demo run must be there now.
for tool in cmake ninja g++ clang++ clang-format i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix \
            wine wineserver wineboot xvfb-run iconv import osslsigncode dpkg-shlibdeps file strace; do
  command -v "$tool" >/dev/null || { echo "setup: $tool is still missing after installing" >&2; exit 1; }
done
