#!/usr/bin/env bash
# Fuzzes whole split runs for a given time: builds the libFuzzer targets with
# clang (ASan and UBSan) and runs each on the committed corpus for half the
# time, the one with loads of a few bytes first. Inputs it finds
# go to a scratch folder that is removed afterwards; the committed corpus is
# only read. Any finding fails the run and is kept in <build>/fuzz-findings.
#
#   tests/fuzz/run.sh <seconds> [build directory, default build-fuzz]
set -euo pipefail
seconds=${1:?usage: run.sh <seconds> [build directory]}
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$top/build-fuzz}

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DFORMSPLIT_FUZZ=ON -DFORMSPLIT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target split_fuzzer_tiny split_fuzzer -j"$(nproc)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
findings="$build/fuzz-findings"
rm -rf "$findings"
mkdir -p "$findings"

for fuzzer in split_fuzzer_tiny split_fuzzer; do
    status=0
    log="$build/$fuzzer.log"
    "$build/tests/fuzz/$fuzzer" "$scratch" "$top/tests/fuzz/corpus" \
        -dict="$top/tests/fuzz/split.dict" -max_total_time="$((seconds / 2))" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1 || status=$?
    echo "$fuzzer:"
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
        tail -n 40 "$log"
        echo "fuzz: finding kept in $findings (full log: $log)"
        exit 1
    fi
done
echo "fuzz: $seconds s without a finding"
