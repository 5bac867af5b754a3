#!/usr/bin/env bash
# Fuzzes whole split runs for a given time: builds the libFuzzer target with
# clang (ASan and UBSan) and runs it on the committed corpus. Inputs it finds
# go to a scratch folder that is removed afterwards; the committed corpus is
# only read. Any finding fails the run and is kept in <build>/fuzz-findings.
#
#   tests/fuzz/run.sh <seconds> [build directory, default build-fuzz]
set -euo pipefail
seconds=${1:?usage: run.sh <seconds> [build directory]}
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$top/build-fuzz}

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DFORMSPLIT_FUZZ=ON -DFORMSPLIT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target split_fuzzer -j"$(nproc)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
findings="$build/fuzz-findings"
rm -rf "$findings"
mkdir -p "$findings"

status=0
"$build/tests/fuzz/split_fuzzer" "$scratch" "$top/tests/fuzz/corpus" \
    -dict="$top/tests/fuzz/split.dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$build/fuzz.log" 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz.log" || true
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    tail -n 40 "$build/fuzz.log"
    echo "fuzz: finding kept in $findings (full log: $build/fuzz.log)"
    exit 1
fi
echo "fuzz: $seconds s without a finding"
