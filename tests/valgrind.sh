#!/usr/bin/env bash
# valgrind memcheck of whole runs of the Linux executable: the worked
# example split and launched, and a run that ends in an error report.
#
#   tests/valgrind.sh <build directory of the Linux build>
set -euo pipefail
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

mkdir "$scratch/Ormu"
cp "$build/tools/ormu_standin" "$scratch/Ormu/Ormu.Exe"
cp "$top/tests/fixtures/worked/batch.xml" "$scratch/"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ormu6]\r\n"SetupPath"="%s/Ormu/"\r\n' "$scratch" > "$scratch/registry.reg"

memcheck() {  # memcheck <expected status> <arguments...>
    local expected=$1 status=0
    shift
    (cd "$scratch" && FORMSPLIT_REGISTRY="$scratch/registry.reg" FORMSPLIT_STANDIN_EXIT=3 \
        valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
        "$build/driver/formsplit" "$@" 2>"$scratch/valgrind.txt") || status=$?
    if [ "$status" -ne "$expected" ]; then
        cat "$scratch/valgrind.txt"
        echo "valgrind: formsplit $* ended with $status, expected $expected"
        exit 1
    fi
}

memcheck 3 batch.xml
for f in batch0001.Xml batch0002.Xml batch.Txt; do
    cmp "$scratch/$f" "$top/tests/fixtures/worked/$f"
done
memcheck 217 missing.xml
memcheck 0
echo "valgrind: clean"
