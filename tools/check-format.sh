#!/usr/bin/env bash
# Checks that every tracked C and C++ file is laid out as .clang-format
# says, and names the files that are not. The version is fixed: another
# clang-format may lay the same code out differently.
#
# To lay the whole tree out:
#   git ls-files -z '*.c' '*.h' '*.cpp' | xargs -0 clang-format-14 -i
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
unformatted=()
while IFS= read -r -d '' file; do
    clang-format-14 --dry-run --Werror "$file" 2>/dev/null || unformatted+=("$file")
done < <(git ls-files -z '*.c' '*.h' '*.cpp')
if [ ${#unformatted[@]} -ne 0 ]; then
    printf 'not laid out as .clang-format says (see: clang-format-14 --dry-run FILE):\n'
    printf '    %s\n' "${unformatted[@]}"
    exit 1
fi
echo "every C and C++ file is laid out as .clang-format says"
