#!/bin/bash
# End-to-end tests of the Windows executable, run under Wine:
#
#   tests/wine/run.sh <32-bit build directory> [<64-bit build directory>]
#
# The cases run the 32-bit product where this host runs 32-bit programs.
# Where it does not, or when FORMSPLIT_WINE64=1 asks for it, they run the
# 64-bit build of the same sources under 64-bit Wine instead. The checks of
# the executable's form (PE32, GUI subsystem, imports) always read the 32-bit
# product.
#
# Every case runs the real formsplit.exe (the fault cases: a test program
# on the same run-time code) from a batch file in a folder of its own,
# which records the exit status as a batch file sees it (%ERRORLEVEL%
# and "if errorlevel"). A message box the case expects is read and answered
# by boxreader.exe; a box that no case expects blocks formsplit until the
# time-out ends the run. A stand-in for the form program records the command
# line it was started with.
#
# The Wine prefix lives in the build directory that runs and is made on
# first use. Prints the build it runs and why, a line per case and a closing
# count; exits non-zero on a failure.
set -u

if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -d "$1" ]; then
    echo "usage: $0 <32-bit build directory> [<64-bit build directory>]" >&2
    exit 2
fi
product=$(cd "$1" && pwd)/driver/formsplit.exe

use_32_bit_product() {
    runs="the 32-bit product"
    build=$(cd "$1" && pwd)
    wine=wine wineserver=wineserver arch=win32
}

# The wine command picks the 32-bit loader whenever it is installed, so the
# 64-bit build is run by the 64-bit loader and server themselves.
use_64_bit_build() {
    runs="the 64-bit build: $1"
    if [ -z "$2" ] || [ ! -d "$2" ]; then
        echo "wine: $runs, but no 64-bit build directory was given" >&2
        exit 2
    fi
    build=$(cd "$2" && pwd)
    wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 arch=win64
    export WINELOADER=$wine
}

# The 32-bit loader answers --version at once and needs no prefix: 0 where
# 32-bit programs run, 126 where the kernel refuses them, 127 without
# 32-bit Wine.
if [ "${FORMSPLIT_WINE64:-0}" = 1 ]; then
    use_64_bit_build forced "${2:-}"
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    use_32_bit_product "$1"
else
    use_64_bit_build "this host cannot run 32-bit programs" "${2:-}"
fi
echo "wine: runs $runs"
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
settings=$source_dir/tests/wine/settings.reg
worked=$source_dir/tests/fixtures/worked

formsplit=$build/driver/formsplit.exe
standin=$build/tools/ormu_standin.exe
boxreader=$build/tools/boxreader.exe
regset=$build/tools/regset.exe
provoke=$build/tests/wine/provoke.exe
resourcereader=$build/tools/resourcereader.exe
for program in "$product" "$formsplit" "$standin" "$boxreader" "$regset" "$provoke" "$resourcereader"; do
    if [ ! -f "$program" ]; then
        echo "wine: $program is missing: build the Windows targets first" >&2
        exit 2
    fi
done

export WINEPREFIX=$build/wine-prefix WINEARCH=$arch WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8  # box captions reach boxreader's command line as UTF-8
unset DISPLAY WAYLAND_DISPLAY

RunLimit=20        # seconds that any one Wine program may take
BoxWait=10000      # milliseconds that boxreader waits for a box
StandinExit=7      # the stand-in's exit code where the case does not choose one
Levels=(1 2 3 7 217 255 256)  # the "if errorlevel" tests of the batch file

windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}

wine_run() {
    timeout "$RunLimit" "$wine" "$@"
}

# --- Wine prefix and server ------------------------------------------------

start_wine() {
    local ready=$WINEPREFIX/formsplit-ready
    if [ ! -f "$ready" ]; then
        rm -rf "$WINEPREFIX"
        # Made by the first Wine program; the settings must be in the
        # registry before anything else runs, so the server is restarted
        # once they are.
        timeout 300 "$wine" regedit /S "$(windows_path "$settings")" 2>/dev/null ||
            { echo "wine: cannot make the prefix $WINEPREFIX" >&2; exit 2; }
        timeout 60 "$wineserver" -w
        touch "$ready"
    fi
    # A persistent server keeps every later Wine start cheap.
    timeout 60 "$wineserver" -p
    wine_run regedit /S "$(windows_path "$settings")"
}

# The usage box is checked under a Cyrillic ANSI code page (1251): there its
# Windows-1250 letters only read right when the box converts them itself.
CyrillicLocale=ru_RU.UTF-8
locales=$build/wine-locales

make_cyrillic_locale() {
    if [ ! -d "$locales/$CyrillicLocale" ]; then
        mkdir -p "$locales"
        localedef -i ru_RU -f UTF-8 "$locales/$CyrillicLocale" ||
            { rm -rf "${locales:?}/$CyrillicLocale"
              echo "wine: cannot make the locale $CyrillicLocale" >&2; exit 2; }
    fi
}

stop_wine() {
    # Also ends any formsplit that a failed case left waiting on a box.
    timeout 60 "$wineserver" -k 2>/dev/null
}

# --- Cases -----------------------------------------------------------------

passed=0
failed=0
work=$build/wine-work

begin_case() {
    case_name=$1
    case_dir=$work/$1
    problems=()
    case_env=(FORMSPLIT_STANDIN_EXIT=$StandinExit
              "FORMSPLIT_STANDIN_RECORD=$(windows_path "$work/$1/record.txt")")
    mkdir -p "$case_dir"
}

problem() {
    problems+=("$*")
}

end_case() {
    if [ ${#problems[@]} -eq 0 ]; then
        echo "PASS $case_name"
        passed=$((passed + 1))
    else
        local joined
        joined=$(printf '%s; ' "${problems[@]}")
        echo "FAIL $case_name: ${joined%; }"
        failed=$((failed + 1))
    fi
}

# Runs a program from a batch file in the case folder, with the text after
# the program's name on its command line exactly as given.
run_batch() {
    local program=$1 tail=$2
    {
        printf '@echo off\r\n'
        printf '"%s" %s\r\n' "$(windows_path "$program")" "$tail"
        printf '>status.txt echo %%ERRORLEVEL%%\r\n'
        local level
        for level in "${Levels[@]}"; do
            printf 'if errorlevel %d >>status.txt echo %d\r\n' "$level" "$level"
        done
    } >"$case_dir/run.bat"
    (cd "$case_dir" && env "${case_env[@]}" timeout "$RunLimit" "$wine" cmd /c run.bat)
}

run_formsplit() {
    run_batch "$formsplit" "$1"
}

# Runs a program as run_batch does and answers the box with the caption.
run_batch_with_box() {
    local caption=$1 program=$2 tail=$3
    run_batch "$program" "$tail" &
    local runner=$!
    if ! wine_run "$boxreader" "$caption" "$(windows_path "$case_dir/box.txt")" "$BoxWait"; then
        problem "no box captioned '$caption'"
    fi
    wait "$runner"
}

run_formsplit_with_box() {
    run_batch_with_box "$1" "$formsplit" "$2"
}

expect_status() {
    local expected=$1 level
    for level in "${Levels[@]}"; do
        if [ "$level" -le "$1" ]; then
            expected+=$'\n'$level
        fi
    done
    local actual
    actual=$(tr -d '\r' 2>/dev/null <"$case_dir/status.txt")
    if [ "$actual" != "$expected" ]; then
        problem "status seen by the batch file: '${actual//$'\n'/ }', expected '${expected//$'\n'/ }'"
    fi
}

# The box read: its caption, a line feed, its text.
box_caption=
box_text=
read_box() {
    local content
    content=$(cat "$case_dir/box.txt" 2>/dev/null; printf x)
    content=${content%x}
    box_caption=${content%%$'\n'*}
    box_text=${content#*$'\n'}
}

expect_box() {
    read_box
    if [ "$box_caption" != "$1" ] || [ "$box_text" != "$2" ]; then
        problem "box '$box_caption' reads '$(printf %q "$box_text")', expected '$1' reading '$(printf %q "$2")'"
    fi
}

# The error report: the address line, "kind : message", the address again,
# trace lines of the same form when allowed, and an empty line.
expect_error_box() {
    local kind=$1 message=$2 trace=$3
    read_box
    local address=${box_text#An unhandled exception occurred at 0x}
    address=${address:0:8}
    local head="An unhandled exception occurred at 0x$address :"$'\r\n'"$kind : $message"$'\r\n'"  0x$address"$'\r\n'
    local rest=${box_text#"$head"}
    local trace_lines='^(  0x[0-9A-F]{8}'$'\r\n'')*'$'\r\n''$'
    if [ "$box_caption" != Error ] || [[ ! $address =~ ^[0-9A-F]{8}$ ]] || [ "$rest" = "$box_text" ] ||
        { [ "$trace" = no-trace ] && [ "$rest" != $'\r\n' ]; } || [[ ! $rest =~ $trace_lines ]]; then
        problem "error box '$box_caption' reads '$(printf %q "$box_text")', expected $kind : $message ($trace)"
    fi
}

expect_same_file() {
    if ! cmp -s "$1" "$2"; then
        problem "${1#"$case_dir"/} differs from ${2#"$source_dir"/}"
    fi
}

expect_missing() {
    if [ -e "$case_dir/$1" ]; then
        problem "$1 was created"
    fi
}

# The stand-in's record: the command line it was started with, and each
# line of the list file it was given with whether that file exists.
expect_form_program_run() {
    local command_line=$1
    shift
    local record=$case_dir/record.txt
    local actual expected
    actual=$(sed -n 's/^command line=//p' "$record" 2>/dev/null)
    if [ "$actual" != "$command_line" ]; then
        problem "form program started with '$actual', expected '$command_line'"
    fi
    actual=$(sed -n '/^list file=/,$p' "$record" 2>/dev/null | tail -n +2)
    expected=$(printf '%s exists\n' "$@")
    if [ "$actual" != "$expected" ]; then
        problem "form program found '${actual//$'\n'/ | }', expected '${expected//$'\n'/ | }'"
    fi
}

expect_no_form_program_run() {
    if [ -e "$case_dir/record.txt" ]; then
        problem "the form program was started"
    fi
}

# --- Registry and form program ---------------------------------------------

OrmuKey='HKCU\Software\Ormu6'

set_setup_path() {
    wine_run reg add "$OrmuKey" /v SetupPath /t "$1" /d "$2" /f >/dev/null ||
        problem "reg add $1 $2 failed"
}

delete_ormu_key() {
    wine_run reg delete "$OrmuKey" /f >/dev/null 2>&1
}

# Stores a REG_SZ of these characters, without the terminating zero.
set_setup_path_unterminated() {
    local hex
    hex=$(printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n')
    wine_run "$regset" 'Software\Ormu6' SetupPath 1 "$hex" || problem "regset failed"
}

# Puts the stand-in where the form program is looked for.
install_form_program() {
    mkdir -p "$(dirname "$1")"
    cp "$standin" "$1"
}

# A setup folder with the form program, named by SetupPath; the folder as
# the registry holds it goes to setup_path.
setup_path=
install_setup() {
    install_form_program "$case_dir/setup/Ormu.Exe"
    setup_path="$(windows_path "$case_dir/setup")\\"
    set_setup_path REG_SZ "$setup_path"
}

copy_worked_input() {
    mkdir -p "$(dirname "$case_dir/$1")"
    cp "$worked/batch.xml" "$case_dir/$1"
}

# --- The cases -------------------------------------------------------------

UsageCaption='     Információ'
# The usage lines and the spaces that fill each up on the right.
UsageLines=(
    'A program a paraméterben megadott xml fájlt feldarabolja|0'
    'nyomtatványonként külön fájlokra, és csoportos importtal|0'
    'átadja az Ormu 2006 program részére.|20'
    'Amennyiben nem található az Ormu 2006-os program|7'
    '2-es hibakóddal (errorlevel) tér vissza. Egyéb esetben|1'
    'a DOS által visszaadott kódot adja.|20'
)

usage_text() {
    local entry text=
    for entry in "${UsageLines[@]}"; do
        [ -n "$text" ] && text+=$'\n\r'
        text+=${entry%|*}$(printf '%*s' "${entry##*|}" '')
    done
    printf '%s' "$text"
}

case_usage() {
    begin_case usage
    case_env+=("LOCPATH=$locales" "LC_ALL=$CyrillicLocale")
    run_formsplit_with_box "$UsageCaption" ''
    expect_box "$UsageCaption" "$(usage_text)"
    expect_status 0
    end_case
}

case_name_test() {
    begin_case name-test-fails-silently
    copy_worked_input batch.xm
    run_formsplit batch.xm
    expect_status 0
    expect_missing batch.Txt
    end_case
}

case_missing_input() {
    begin_case missing-input
    install_setup
    run_formsplit_with_box Error missing.xml
    expect_error_box EINOUTERROR 'File not found' trace-allowed
    expect_status 217
    expect_missing missing.Txt
    expect_no_form_program_run
    end_case
}

case_worked_example() {
    begin_case worked-example
    install_setup
    copy_worked_input batch.xml
    case_env+=(FORMSPLIT_STANDIN_EXIT=0)
    run_formsplit batch.xml
    expect_status 0
    local file
    for file in batch0001.Xml batch0002.Xml batch.Txt; do
        expect_same_file "$case_dir/$file" "$worked/$file"
    done
    expect_form_program_run "\"${setup_path}Ormu.Exe\"  -i@\"batch.Txt\"" batch0001.Xml batch0002.Xml
    end_case
}

# Exit codes of the form program, which formsplit passes on whole: a batch
# file sees them in full.
ExitCodes=(1 2 256 258)

case_exit_codes() {
    local code
    for code in "${ExitCodes[@]}"; do
        begin_case "form-program-exit-$code"
        install_setup
        copy_worked_input batch.xml
        case_env+=("FORMSPLIT_STANDIN_EXIT=$code")
        run_formsplit batch.xml
        expect_status "$code"
        expect_form_program_run "\"${setup_path}Ormu.Exe\"  -i@\"batch.Txt\"" batch0001.Xml batch0002.Xml
        end_case
    done
}

# The setup folder is used as stored: no separator added, the last byte
# dropped as the terminating zero, environment references left alone. Each
# case offers the form program both where the stored text leads and where a
# wrong reading would lead, and the command line shows which one ran.
case_setup_path_forms() {
    begin_case setup-path-without-backslash
    install_form_program "$case_dir/setup/Ormu.Exe"
    install_form_program "$case_dir/setupOrmu.Exe"
    copy_worked_input batch.xml
    set_setup_path REG_SZ "$(windows_path "$case_dir/setup")"
    run_formsplit batch.xml
    expect_status $StandinExit
    expect_form_program_run "\"$(windows_path "$case_dir/setupOrmu.Exe")\"  -i@\"batch.Txt\"" \
        batch0001.Xml batch0002.Xml
    end_case

    begin_case setup-path-unterminated
    install_form_program "$case_dir/ab/Ormu.Exe"
    install_form_program "$case_dir/abOrmu.Exe"
    copy_worked_input batch.xml
    set_setup_path_unterminated "$(windows_path "$case_dir/ab")\\"
    run_formsplit batch.xml
    expect_status $StandinExit
    expect_form_program_run "\"$(windows_path "$case_dir/abOrmu.Exe")\"  -i@\"batch.Txt\"" \
        batch0001.Xml batch0002.Xml
    end_case

    begin_case setup-path-expand-sz-unexpanded
    install_form_program "$case_dir/setup/Ormu.Exe"
    install_form_program "$case_dir/%FORMSPLIT_SETUP%/Ormu.Exe"
    copy_worked_input batch.xml
    case_env+=("FORMSPLIT_SETUP=$(windows_path "$case_dir/setup")")
    set_setup_path REG_EXPAND_SZ '%FORMSPLIT_SETUP%\'
    run_formsplit batch.xml
    expect_status $StandinExit
    expect_form_program_run '"%FORMSPLIT_SETUP%\Ormu.Exe"  -i@"batch.Txt"' batch0001.Xml batch0002.Xml
    end_case
}

# Registry contents that locate no form program: the status, and the error
# box that some of them give.
case_setup_path_unusable() {
    begin_case setup-key-missing
    copy_worked_input batch.xml
    delete_ormu_key
    run_formsplit batch.xml
    expect_status 2
    expect_no_form_program_run
    end_case

    begin_case setup-path-empty
    copy_worked_input batch.xml
    set_setup_path REG_SZ ''
    run_formsplit batch.xml
    expect_status 2
    expect_no_form_program_run
    end_case

    begin_case setup-path-dword
    copy_worked_input batch.xml
    set_setup_path REG_DWORD 5
    run_formsplit_with_box Error batch.xml
    expect_error_box EREGISTRYEXCEPTION 'Invalid registry data type: "SetupPath"' no-trace
    expect_status 217
    expect_no_form_program_run
    end_case

    begin_case setup-path-value-missing
    copy_worked_input batch.xml
    delete_ormu_key
    wine_run reg add "$OrmuKey" /v Other /t REG_SZ /d x /f >/dev/null
    run_formsplit_with_box Error batch.xml
    expect_error_box EREGISTRYEXCEPTION 'Invalid registry data type: "SetupPath"' no-trace
    expect_status 217
    expect_no_form_program_run
    end_case

    begin_case form-program-missing
    mkdir -p "$case_dir/setup"
    copy_worked_input batch.xml
    set_setup_path REG_SZ "$(windows_path "$case_dir/setup")\\"
    run_formsplit batch.xml
    expect_status 2
    end_case

    # It passes the existence test, and the start that fails counts as a
    # form program not found.
    begin_case form-program-is-a-directory
    mkdir -p "$case_dir/setup/Ormu.Exe"
    copy_worked_input batch.xml
    set_setup_path REG_SZ "$(windows_path "$case_dir/setup")\\"
    run_formsplit batch.xml
    expect_status 2
    end_case
}

# Command-line tails, the input file they name, and the list file's name as
# formsplit builds it. @CASE@ stands for the case folder's Windows path.
QuotingCases=(
    'quoted-path-with-spaces|"@CASE@\my forms\batch.xml"|my forms/batch.xml|@CASE@\my forms\batch.Txt'
    'quotes-inside-token|a"b c"d.xml|ab cd.xml|ab cd.Txt'
    'apostrophe-stretch|x'"'"'y z'"'"'w.xml|xy zw.xml|xy zw.Txt'
    'apostrophe-inside-quotes|"it'"'"'s here.xml"|it'"'"'s here.xml|it'"'"'s here.Txt'
    'apostrophe-left-open|'"'"'open quote.xml|open quote.xml|open quote.Txt'
    'further-arguments-ignored|batch.xml other.xml|batch.xml|batch.Txt'
)

case_quoting() {
    local entry name tail input list
    for entry in "${QuotingCases[@]}"; do
        IFS='|' read -r name tail input list <<<"$entry"
        begin_case "command-line-$name"
        local case_windows
        case_windows=$(windows_path "$case_dir")
        tail=${tail//@CASE@/$case_windows}
        list=${list//@CASE@/$case_windows}
        install_setup
        copy_worked_input "$input"
        run_formsplit "$tail"
        expect_status $StandinExit
        local base=${list%.Txt}
        expect_form_program_run "\"${setup_path}Ormu.Exe\"  -i@\"$list\"" "${base}0001.Xml" "${base}0002.Xml"
        end_case
    done
}

# Faults provoked by the test program on the product's run-time services:
# the fault, the second line of its report. Each must write out the line
# still in the buffer of the file it had open, and end with 217.
FaultCases=(
    'access-violation|EACCESSVIOLATION : Access violation'
    'stack-overflow|EXCEPTION : Unknown Run-Time error : 202'
    'out-of-memory|EOUTOFMEMORY : Out of memory'
)
UnflushedLine='written before the fault'

case_faults() {
    local entry fault second_line
    for entry in "${FaultCases[@]}"; do
        IFS='|' read -r fault second_line <<<"$entry"
        begin_case "$fault"
        run_batch_with_box Error "$provoke" "$fault open.txt \"$UnflushedLine\""
        expect_error_box "${second_line%% : *}" "${second_line#* : }" trace-allowed
        expect_status 217
        local written
        written=$(cat "$case_dir/open.txt" 2>/dev/null; printf x)
        if [ "$written" != "$UnflushedLine"$'\r\n'x ]; then
            problem "open.txt holds '$(printf %q "${written%x}")', expected the line written before the fault"
        fi
        end_case
    done
}

# --- What ships ------------------------------------------------------------

# The 32-bit build packs the release ZIP (target "release"), and the cases
# run the formsplit.exe unpacked from it: what ships is what is tested. A
# build without the ZIP (the 64-bit one) runs its own formsplit.exe.
release_zip=
take_formsplit_from_release() {
    release_zip=$(compgen -G "$build/package/formsplit-*-win32.zip" | head -n 1)
    if [ -n "$release_zip" ]; then
        mkdir -p "$work/release"
        (cd "$work/release" && cmake -E tar xf "$release_zip" formsplit.exe) &&
            formsplit=$work/release/formsplit.exe
    fi
}

is_32_bit_program() {
    i686-w64-mingw32-objdump -f "$1" 2>/dev/null | grep -q 'file format pei-i386'
}

# Where the build is the 32-bit product, the release ZIP exists and holds it.
case_release_program() {
    is_32_bit_program "$build/driver/formsplit.exe" || return 0
    begin_case release-zip-program
    if [ -z "$release_zip" ]; then
        problem "no release ZIP in $build/package: build the target \"release\" first"
    elif [ "$formsplit" != "$work/release/formsplit.exe" ]; then
        problem "formsplit.exe could not be taken from $release_zip"
    elif ! cmp -s "$formsplit" "$build/driver/formsplit.exe"; then
        problem "the ZIP's formsplit.exe is not the one this build made"
    fi
    end_case
}

# The version resource as Windows reads it: the numbers and strings that the
# Properties dialog shows.
case_version_resource() {
    begin_case version-resource
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    local actual expected
    actual=$(wine_run "$resourcereader" "$(windows_path "$formsplit")" | tr -d '\r' | sed '/^ActivationContext=/,$d')
    expected=$(printf '%s\n' \
        "FixedFileVersion=$version.0" \
        "FixedProductVersion=$version.0" \
        "FileDescription=Splits a batch of forms for a group import" \
        "FileVersion=$version" \
        "InternalName=formsplit" \
        "LegalCopyright=Copyright (c) 2026 formsplit authors" \
        "OriginalFilename=formsplit.exe" \
        "ProductName=formsplit" \
        "ProductVersion=$version")
    if [ -z "$version" ] || [ "$actual" != "$expected" ]; then
        problem "version resource reads '${actual//$'\n'/ | }', expected '${expected//$'\n'/ | }'"
    fi
    end_case
}

# What the manifest must say, each a text that must appear in it.
ManifestDemands=(
    'requestedExecutionLevel level="asInvoker" uiAccess="false"'
    'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"'  # Windows 7
    'supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"'  # Windows 8
    'supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"'  # Windows 8.1
    'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"'  # Windows 10 and 11
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'
    '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, System</dpiAwareness>'
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
    'processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"'
)

# The manifest is found where the loader looks, the loader accepts it, and
# it says what it must.
case_manifest() {
    begin_case manifest
    local report manifest demand
    report=$(wine_run "$resourcereader" "$(windows_path "$formsplit")" | tr -d '\r')
    manifest=${report#*$'\n'Manifest=}
    if [[ $report != *$'\n'ActivationContext=made$'\n'* ]]; then
        problem "the loader refuses the manifest: $(grep '^ActivationContext=' <<<"$report")"
    fi
    if [ "$manifest" = "$report" ]; then
        problem "no manifest found"
    else
        for demand in "${ManifestDemands[@]}"; do
            [[ $manifest == *"$demand"* ]] || problem "the manifest lacks '$demand'"
        done
    fi
    end_case
}

# --- Run -------------------------------------------------------------------

# The 32-bit product, whichever build runs, needs nothing but the system's
# own DLLs.
case_imports() {
    begin_case imports
    local imports
    imports=$(i686-w64-mingw32-objdump -p "$product" | sed -n 's/^\tDLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
    [ "$imports" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || problem "imports: $imports"
    i686-w64-mingw32-objdump -f "$product" | grep -q 'file format pei-i386' || problem "not a 32-bit executable"
    i686-w64-mingw32-objdump -p "$product" | grep -q '^Subsystem.*(Windows GUI)' || problem "not a GUI-subsystem program"
    end_case
}

rm -rf "$work"
mkdir -p "$work"
make_cyrillic_locale
start_wine
trap stop_wine EXIT
take_formsplit_from_release

case_release_program
case_version_resource
case_manifest
case_imports
case_usage
case_name_test
case_missing_input
case_worked_example
case_exit_codes
case_setup_path_forms
case_setup_path_unusable
case_quoting
case_faults

echo "wine: $passed passed, $failed failed, on $runs"
[ "$failed" -eq 0 ]
