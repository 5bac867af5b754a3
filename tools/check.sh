#!/usr/bin/env bash
# Checks the layout of the code, builds everything with warnings as errors
# and runs every test: the layers checked in the objects of the Linux and
# 32-bit Windows builds, the Linux build's unit and whole-program tests, the
# same under AddressSanitizer and UndefinedBehaviorSanitizer, valgrind
# memcheck of a whole run, the 32-bit Windows build and the 64-bit build of
# the same sources, one of them run end to end under Wine (the 32-bit one,
# taken from its release ZIP, where this host runs 32-bit programs;
# FORMSPLIT_WINE64=1 runs the 64-bit one anyway), the release rebuilt from
# two clones, a bounded fuzzing run, and the benchmark in its quick mode
# (which proves it works and judges no times).
# Stops at the first failing step.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/out"
jobs=$(nproc)
"$top/tools/install-deps.sh"

step() { printf '\n=== %s\n' "$*"; }

build() {  # build <dir> [cmake options...]
    local dir=$1
    shift
    cmake -S "$top" -B "$dir" -DFORMSPLIT_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

run_tests() {  # run_tests <build dir>
    (cd "$1" && ctest -j"$jobs" --output-on-failure --timeout 300 | grep -vE '^ +(Start|[0-9]+/[0-9]+ Test)')
}

step "layout of the C and C++ code"
"$top/tools/check-format.sh"

step "Linux build, warnings as errors"
build "$out/linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo
step "each layer uses only the layers below it, with no cycle inside a folder"
"$top/tools/check-layers.py" "$out/linux"
step "unit and whole-program tests"
run_tests "$out/linux"

step "AddressSanitizer and UndefinedBehaviorSanitizer build"
build "$out/asan" -DCMAKE_BUILD_TYPE=Debug -DFORMSPLIT_SANITIZE=ON
step "unit and whole-program tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests "$out/asan"

step "valgrind memcheck of a whole run on the worked example"
"$top/tests/valgrind.sh" "$out/linux"

step "Windows build: 32-bit GUI executable"
build "$out/win" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
step "the layers of the 32-bit Windows build"
"$top/tools/check-layers.py" "$out/win"
step "Windows release ZIP, whose formsplit.exe the Wine suite runs"
cmake --build "$out/win" --target release
step "Windows build: the same sources for 64-bit Windows"
build "$out/win64" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
step "end-to-end tests of formsplit.exe under Wine"
"$top/tests/wine/run.sh" "$out/win" "$out/win64"

step "Windows release from two clones of the last commit: the same bytes, and what the ZIP holds"
"$top/tests/release/check.py" "$top" "$out/reproducible"

step "fuzzing the splitter for 60 seconds"
"$top/tests/fuzz/run.sh" 60 "$out/fuzz"

step "benchmark, quick mode"
# A work folder of this run's own: another benchmark on the machine keeps
# its files in the default one.
bench_dir=$(mktemp -d /dev/shm/formsplit-check-bench.XXXXXX)
trap 'rm -rf "$bench_dir"' EXIT
BENCH_DIR=$bench_dir FORMSPLIT="$out/linux/driver/formsplit" "$top/bench/run.sh" --quick

step "all checks passed"
