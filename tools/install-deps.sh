#!/usr/bin/env bash
# Installs what building and testing formsplit needs on Debian 12, once:
# a second run finds everything in place and installs nothing.
set -euo pipefail

packages=(
  cmake g++ make googletest libgtest-dev libgmock-dev   # the Linux build and its tests
  clang-format-14                                       # the layout check
  clang libclang-rt-14-dev valgrind                     # fuzzing, sanitizers, memcheck
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686      # the Windows cross-build
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64  # the 64-bit Windows build, for hosts without 32-bit programs
  wine wine32 wine64 locales                            # running formsplit.exe for real (a Cyrillic code page too)
  hyperfine gawk mawk xml-twig-tools python3 python3-lxml time  # the benchmark
)

missing=()
for p in "${packages[@]}"; do
  case "$p" in wine32) p="wine32:i386" ;; esac
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
