#!/usr/bin/env bash
# The main job on the bundled example: build formsplit, register a stand-in
# form program, split examples/batch.xml and launch the stand-in on it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"

build="$top/out/release"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target formsplit ormu_standin >/dev/null

demo="$top/out/demo"
rm -rf "$demo"
mkdir -p "$demo/Ormu"
cp "$top/examples/batch.xml" "$demo/"
cp "$build/tools/ormu_standin" "$demo/Ormu/Ormu.Exe"
# The registry value the program reads: HKCU\Software\Ormu6, "SetupPath".
cat > "$demo/registry.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Ormu6]
"SetupPath"="$demo/Ormu/"
REG

cd "$demo"
set +e
FORMSPLIT_REGISTRY="$demo/registry.reg" FORMSPLIT_STANDIN_RECORD="$demo/standin.txt" \
  FORMSPLIT_STANDIN_EXIT=0 "$build/driver/formsplit" batch.xml
status=$?
set -e
echo "formsplit ended with status $status"
echo "--- files written in $demo:"
ls -1 "$demo" | grep -E '^batch'
echo "--- list file batch.Txt:"
cat batch.Txt
echo "--- first form file batch0001.Xml (Windows-1250 shown as UTF-8):"
iconv -f cp1250 -t utf-8 batch0001.Xml
echo "--- what the form program was given:"
cat standin.txt
[ "$status" -eq 0 ]
