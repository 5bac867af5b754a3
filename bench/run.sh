#!/usr/bin/env bash
# Times formsplit on three batches, next to the floors (reading and writing
# the bytes; creating the files) and to the splitters a user would script
# (awk, Python with lxml, xml_split), and prints one table.
#
#   bench/run.sh            full sizes (about 200 MB batches; about 10 minutes)
#   bench/run.sh --quick    a tenth of the sizes, to see that it all works
#
# Everything runs in a RAM-backed folder (BENCH_DIR, default
# /dev/shm/formsplit-bench). FORMSPLIT=/path/to/binary skips the build;
# FORMSPLIT_BASE=/path/to/binary times another build beside it, in the same
# rounds (an earlier version, say), as "formsplit (base)".
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
RUNS=10       # formsplit and the floors
ALT_RUNS=10   # awk
SLOW_RUNS=3   # lxml and xml_split: 2 to 20 seconds a run at full size

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
    # A build folder left by another checkout cannot be reused.
    if ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$REPO" "$WORK/build/CMakeCache.txt" 2>/dev/null; then
        rm -rf "$WORK/build"
    fi
    cmake -S "$REPO" -B "$WORK/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$WORK/build" --target formsplit -j 2 >/dev/null
    FORMSPLIT=$WORK/build/formsplit
    [[ -x $FORMSPLIT ]] || FORMSPLIT=$(find "$WORK/build" -name formsplit -type f -perm -u+x | head -n 1)
    [[ -x $FORMSPLIT ]] || { echo "run.sh: no formsplit binary after the build" >&2; exit 1; }
fi
FORMSPLIT=$(realpath "$FORMSPLIT")
BASE=${FORMSPLIT_BASE:+$(realpath "$FORMSPLIT_BASE")}
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

# check_count GLOB N TOOL
check_count() {
    local got
    got=$(count_files "$1")
    [[ $got == "$2" ]] || fail "$W $3: $got files named $1, expected $2"
}

# check_forms PREFIX TOOL: the chosen form files equal, byte for byte, what
# the generator wrote down for them
check_forms() {
    local e n
    for e in "$DIR/expect"/*.Xml; do
        n=$(basename "$e" .Xml)
        cmp -s "$e" "$OUT/$1$n.Xml" || fail "$W $2: $1$n.Xml differs from the expected form $n"
    done
}

declare -A TIMES PEAK

# run_once TOOL WANTED-STATUS PREPARE CHECK [-o FILE] -- COMMAND...
# One run of COMMAND in an empty $OUT under measure (-o FILE: its standard
# output). PREPARE and CHECK are functions (or -) run before and after it,
# untimed. The time goes to TIMES[TOOL], the peak memory to PEAK[TOOL].
run_once() {
    local tool=$1 want=$2 prepare=$3 check=$4 secs kib status
    shift 4
    fresh_out
    if [[ $prepare != - ]]; then $prepare; fi
    read -r secs kib status < <("$BIN/measure" -C "$OUT" "$@" 2>"$WORK/stderr") ||
        fail "$W $tool: not measured: $(head -c 500 "$WORK/stderr")"
    [[ $status == "$want" ]] ||
        fail "$W $tool: exit status $status, expected $want: $(head -c 500 "$WORK/stderr")"
    if [[ $check != - ]]; then $check; fi
    TIMES[$tool]+="$secs "
    if ((kib > ${PEAK[$tool]:-0})); then PEAK[$tool]=$kib; fi
}

# record TOOL: its fastest and median times and largest peak go to the
# results. The fastest run is the one least disturbed by the machine's other
# work, so the targets are judged on it.
record() {
    local tool=$1 runs fastest median
    [[ -n ${TIMES[$tool]:-} ]] || return 0
    runs=$(wc -w <<<"${TIMES[$tool]}")
    fastest=$(tr ' ' '\n' <<<"${TIMES[$tool]}" | grep . | sort -g | head -n 1)
    median=$(tr ' ' '\n' <<<"${TIMES[$tool]}" | grep . | sort -g |
        awk '{t[NR] = $1} END {print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2}')
    printf '%s\t%s\t%d\t%s\t%s\t%d\n' "$W" "$tool" "$runs" "$fastest" "$median" "${PEAK[$tool]}" >>"$RESULTS"
    printf '  %-13s %d run(s)  fastest %8.3f s  median %8.3f s  peak %7.1f MiB\n' "$tool" "$runs" "$fastest" \
        "$median" "$(awk "BEGIN {print ${PEAK[$tool]} / 1024}")"
}

# --- one workload ------------------------------------------------------------
bench_workload() {
    W=$1
    local forms=$2 fields=$3 oneline=$4
    DIR=$DATA/$W
    IN=$DIR/batch.xml
    mkdir -p "$DIR"
    "$PY" "$BENCH/gen.py" --forms "$forms" --fields "$fields" --seed 7 ${oneline:+"$oneline"} \
        --out "$IN" --sizes "$DIR/sizes" --expect-dir "$DIR/expect" \
        --expect "1,2,$((forms / 2)),$forms"
    local bytes
    bytes=$(stat -c %s "$IN")
    echo "$W: $forms forms, $fields field lines each${oneline:+, on one line}, $((bytes / 1000000)) MB"
    printf '%s\tinput\t%d\t%d\t%d\n' "$W" "$forms" "$bytes" "$(wc -l <"$IN")" >>"$RESULTS"

    # formsplit writes beside its input: each run gets a link to it in $OUT.
    link_input() { ln "$IN" "$OUT/batch.xml"; }
    check_formsplit() {
        check_count 'batch[0-9]*.Xml' "$forms" formsplit
        cmp -s "$OUT/batch.Txt" <(seq -f 'batch%04g.Xml' 1 "$forms" | sed 's/$/\r/') ||
            fail "$W formsplit: batch.Txt does not list batch0001.Xml ... batch$forms.Xml"
        check_forms batch formsplit
    }
    check_created() { check_count '*' $((forms + 1)) create-files; }
    check_awk() { check_count 'batch[0-9]*.Xml' "$forms" awk; check_forms batch awk; }
    check_lxml() { check_count 'batch[0-9]*.Xml' "$forms" lxml; }
    # xml_split writes the main document (-0000) and one file per child of
    # the root: the Ormu block and every form.
    check_xml_split() { check_count 'batch-*.xml' $((forms + 2)) xml_split; }

    # formsplit's output is checked once before any timing counts (and after
    # every timed run too).
    TIMES=() PEAK=()
    run_once formsplit 2 link_input check_formsplit -- "$FORMSPLIT" batch.xml
    echo "  formsplit output checked: $forms files, the list, forms 1, 2, $((forms / 2)), $forms byte for byte"
    TIMES=() PEAK=()

    # The tools take turns, round after round, so that whatever else the
    # machine is doing weighs on all of them alike.
    local tools=(formsplit cat cp create-files) awk round
    if [[ -z $oneline ]]; then tools+=(mawk gawk); fi
    for ((round = 0; round < RUNS || round < ALT_RUNS || round < SLOW_RUNS; round++)); do
        if ((round < RUNS)); then
            run_once formsplit 2 link_input check_formsplit -- "$FORMSPLIT" batch.xml
            if [[ -n $BASE ]]; then
                run_once base 2 link_input check_formsplit -- "$BASE" batch.xml
            fi
            run_once cat 0 - - -o /dev/null -- cat "$IN"
            run_once cp 0 - - -- cp "$IN" .
            run_once create-files 0 - check_created -- "$BIN/mkfiles" "$DIR/sizes" batch
        fi
        if ((round < ALT_RUNS)) && [[ -z $oneline ]]; then
            for awk in mawk gawk; do
                run_once "$awk" 0 - check_awk -- env LC_ALL=C "$awk" -v base=batch -f "$BENCH/split.awk" "$IN"
            done
        fi
        if ((round < SLOW_RUNS)); then
            run_once lxml 0 - check_lxml -- "$PY" "$BENCH/split_lxml.py" "$IN" batch
            run_once xml_split 0 - check_xml_split -- xml_split -l 1 -n 4 -b batch "$IN"
        fi
    done
    for tool in "${tools[@]}" base lxml xml_split; do record "$tool"; done
    rm -rf "$DIR"
}

SCALE=1 REPORT_OPTS=()
if ((QUICK)); then SCALE=10 REPORT_OPTS=(--quick); fi
LOAD=$(cut -d' ' -f1-3 /proc/loadavg)
echo "formsplit: $FORMSPLIT${BASE:+ (base: $BASE)}"
echo "work folder: $WORK"
bench_workload W1 $((20000 / SCALE)) 122 ""
bench_workload W2 $((20000 / SCALE)) 122 --one-line
bench_workload W3 $((70000 / SCALE)) 3 ""

echo
cpu=$(sed -n 's/^model name\t*: *//p' /proc/cpuinfo | head -n 1)
mem=$(awk '/^MemTotal/ {printf "%.0f", $2 / 1048576}' /proc/meminfo)
echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores ($cpu), $mem GiB;" \
     "Debian $(cat /etc/debian_version); load average at start $LOAD"
echo
"$PY" "$BENCH/report.py" "${REPORT_OPTS[@]}" "$RESULTS"
