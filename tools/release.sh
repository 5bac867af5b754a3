#!/usr/bin/env bash
# Builds the Windows release from the 32-bit product: formsplit-<version>-
# win32.zip and SHA256SUMS in out/win-release/package, the same bytes from
# any clone of the same commit.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"

build="$top/out/win-release"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DFORMSPLIT_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target release >/dev/null
echo "in $build/package:"
cat "$build/package/SHA256SUMS"
