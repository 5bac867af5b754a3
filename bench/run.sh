#!/usr/bin/env bash
# Times formsplit on three batches, next to the floors (reading and writing
# the bytes; creating the files) and to the splitters a user would script
# (awk, Python with lxml, xml_split), and prints one table.
#
#   bench/run.sh            full sizes (about 200 MB batches; ~10 minutes)
#   bench/run.sh --quick    a tenth of the sizes, to see that it all works
#
# Everything runs in a RAM-backed folder (BENCH_DIR, default
# /dev/shm/formsplit-bench). FORMSPLIT=/path/to/binary skips the build.
set -euo pipefail

QUICK=0
for arg in "$@"; do
    case $arg in
        --quick) QUICK=1 ;;
        -h|--help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

BENCH=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(dirname "$BENCH")
WORK=${BENCH_DIR:-/dev/shm/formsplit-bench}
PY=/usr/bin/python3
RUNS=5        # formsplit and the floors
ALT_RUNS=3    # awk
SLOW_RUNS=1   # lxml and xml_split: tens of seconds a run at full size

# --- tools -------------------------------------------------------------------
need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}
need_packages gcc g++ libc6-dev make cmake mawk gawk xml-twig-tools python3 python3-lxml

mkdir -p "$WORK/bin"
BIN=$WORK/bin
gcc -O2 -o "$BIN/measure" "$BENCH/measure.c"
gcc -O2 -o "$BIN/mkfiles" "$BENCH/mkfiles.c"

if [[ -z ${FORMSPLIT:-} ]]; then
    echo "building formsplit (Release) in $WORK/build"
    cmake -S "$REPO" -B "$WORK/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$WORK/build" --target formsplit -j 2 >/dev/null
    FORMSPLIT=$WORK/build/formsplit
    [[ -x $FORMSPLIT ]] || FORMSPLIT=$(find "$WORK/build" -name formsplit -type f -perm -u+x | head -n 1)
    [[ -x $FORMSPLIT ]] || { echo "run.sh: no formsplit binary after the build" >&2; exit 1; }
fi
FORMSPLIT=$(realpath "$FORMSPLIT")
export FORMSPLIT_REGISTRY=$WORK/no-such-registry   # so formsplit ends with status 2

DATA=$WORK/data
OUT=$WORK/out
RESULTS=$WORK/results.tsv
trap 'rm -rf "$DATA" "$OUT"' EXIT
rm -rf "$DATA" "$OUT"
mkdir -p "$DATA"
: >"$RESULTS"

# --- helpers -----------------------------------------------------------------
fail() { echo "run.sh: $*" >&2; exit 1; }

fresh_out() { rm -rf "$OUT"; mkdir "$OUT"; }

# count_files GLOB: how many files in $OUT match
count_files() { find "$OUT" -mindepth 1 -maxdepth 1 -type f -name "$1" | wc -l; }

# time_tool WORKLOAD TOOL RUNS WANTED-STATUS [PREPARE] [-o FILE] -- COMMAND...
# Runs COMMAND in $OUT under measure (-o FILE: its standard output). Each run
# starts from an empty $OUT (PREPARE, a function, may put files there; neither
# is timed). Records the median time and the largest peak.
time_tool() {
    local w=$1 tool=$2 runs=$3 want=$4 prepare=; shift 4
    if [[ $1 != -* ]]; then prepare=$1; shift; fi
    local times=() peak=0 secs kib status
    for ((i = 0; i < runs; i++)); do
        fresh_out
        if [[ -n $prepare ]]; then $prepare; fi
        read -r secs kib status < <("$BIN/measure" -C "$OUT" "$@" 2>"$WORK/stderr") ||
            fail "$w $tool: not measured: $(head -c 500 "$WORK/stderr")"
        [[ $status == "$want" ]] ||
            fail "$w $tool: exit status $status, expected $want: $(head -c 500 "$WORK/stderr")"
        times+=("$secs")
        if ((kib > peak)); then peak=$kib; fi
    done
    local median
    median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{t[NR]=$1} END {print (NR%2) ? t[(NR+1)/2] : (t[NR/2]+t[NR/2+1])/2}')
    printf '%s\t%s\t%d\t%s\t%d\n' "$w" "$tool" "$runs" "$median" "$peak" >>"$RESULTS"
    printf '  %-13s %d run(s)  median %8.3f s  peak %7.1f MiB\n' "$tool" "$runs" "$median" "$(awk "BEGIN{print $peak/1024}")"
}

# check_forms PREFIX: the chosen form files equal, byte for byte, what the
# generator wrote down for them
check_forms() {
    local e n
    for e in "$DIR/expect"/*.Xml; do
        n=$(basename "$e" .Xml)
        cmp -s "$e" "$OUT/$1$n.Xml" || fail "$W: $OUT/$1$n.Xml differs from the expected form $n"
    done
}

# --- one workload ------------------------------------------------------------
bench_workload() {
    W=$1
    local forms=$2 fields=$3 oneline=$4
    DIR=$DATA/$W
    IN=$DIR/batch.xml
    mkdir -p "$DIR"
    local last=$forms
    "$PY" "$BENCH/gen.py" --forms "$forms" --fields "$fields" --seed 7 $oneline \
        --out "$IN" --sizes "$DIR/sizes" --expect-dir "$DIR/expect" \
        --expect "1,2,$((forms / 2)),$last"
    local bytes
    bytes=$(stat -c %s "$IN")
    echo "$W: $forms forms, $fields field lines each${oneline:+, on one line}, $((bytes / 1000000)) MB"
    printf '%s\tinput\t%d\t%d\t%d\n' "$W" "$forms" "$bytes" "$(wc -l <"$IN")" >>"$RESULTS"

    # formsplit writes beside its input: each run gets a link to it in $OUT.
    link_input() { ln "$IN" "$OUT/batch.xml"; }

    # Its output is checked once before any timing counts.
    fresh_out; link_input
    read -r _ _ status < <("$BIN/measure" -C "$OUT" -- "$FORMSPLIT" batch.xml 2>"$WORK/stderr") ||
        fail "$W formsplit: not measured: $(head -c 500 "$WORK/stderr")"
    [[ $status == 2 ]] || fail "$W formsplit: exit status $status, expected 2: $(head -c 500 "$WORK/stderr")"
    [[ $(count_files 'batch[0-9]*.Xml') == "$forms" ]] ||
        fail "$W formsplit: $(count_files 'batch[0-9]*.Xml') form files, expected $forms"
    cmp -s "$OUT/batch.Txt" <(seq -f 'batch%04g.Xml' 1 "$forms" | sed 's/$/\r/') ||
        fail "$W formsplit: batch.Txt does not list batch0001.Xml .. as expected"
    check_forms batch
    echo "  formsplit output checked: $forms files, list, forms 1, 2, $((forms / 2)), $last byte for byte"

    time_tool "$W" formsplit "$RUNS" 2 link_input -- "$FORMSPLIT" batch.xml
    time_tool "$W" cat "$RUNS" 0 -o /dev/null -- cat "$IN"
    time_tool "$W" cp "$RUNS" 0 -- cp "$IN" .
    time_tool "$W" create-files "$RUNS" 0 -- "$BIN/mkfiles" "$DIR/sizes" batch
    [[ $(count_files '*') == $((forms + 1)) ]] || fail "$W create-files: wrong number of files"

    if [[ -z $oneline ]]; then
        local awk
        for awk in mawk gawk; do
            time_tool "$W" "$awk" "$ALT_RUNS" 0 -- env LC_ALL=C "$awk" -v base=batch -f "$BENCH/split.awk" "$IN"
            [[ $(count_files 'batch[0-9]*.Xml') == "$forms" ]] || fail "$W $awk: wrong number of files"
            check_forms batch
        done
    fi
    time_tool "$W" lxml "$SLOW_RUNS" 0 -- "$PY" "$BENCH/split_lxml.py" "$IN" batch
    [[ $(count_files 'batch[0-9]*.Xml') == "$forms" ]] || fail "$W lxml: wrong number of files"
    # xml_split writes the main document (-0000) and one file per child of
    # the root: the Ormu block and every form.
    time_tool "$W" xml_split "$SLOW_RUNS" 0 -- xml_split -l 1 -n 4 -b batch "$IN"
    [[ $(count_files 'batch-*.xml') == $((forms + 2)) ]] || fail "$W xml_split: wrong number of files"
    rm -rf "$DIR"
}

SCALE=1 REPORT_OPTS=()
if ((QUICK)); then SCALE=10 REPORT_OPTS=(--quick); fi
echo "formsplit: $FORMSPLIT"
echo "work folder: $WORK"
bench_workload W1 $((20000 / SCALE)) 122 ""
bench_workload W2 $((20000 / SCALE)) 122 --one-line
bench_workload W3 $((70000 / SCALE)) 3 ""

echo
"$PY" "$BENCH/report.py" "${REPORT_OPTS[@]}" "$RESULTS"
