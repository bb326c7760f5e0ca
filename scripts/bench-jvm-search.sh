#!/usr/bin/env bash
# Benchmark of searchJvm under Wine: a search sequence of 20 candidate homes of
# which only the last is acceptable, once with an empty version cache (cold) and
# once with the cache the first search left (warm). Then the same homes with a
# release file each, cold under rules = "modern" (the release file gives the
# version) and cold under "classic" (one java.exe run per candidate). Prints the
# wall time of each search and how often java.exe ran. Needs the windows preset built
# (kavrin-jvm-driver.exe and the stand-in fixtures).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KAVRIN_BUILD_DIR:-$ROOT/build/windows}
DRIVER=$BUILD/bin/kavrin-jvm-driver.exe
WORK=$BUILD/bench-jvm
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY

[ -x "$DRIVER" ] || { echo "missing $DRIVER (build the windows preset)" >&2; exit 1; }
rm -rf "$WORK"
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1   # persistent, so the runs below do not each start one
wine wineboot -i >"$WORK/wineboot.log" 2>&1 </dev/null

HOMES=$WINEPREFIX/drive_c/bench
SEQUENCE=$(python3 - "$ROOT/tests/e2e" "$BUILD" "$HOMES" <<'PY'
import sys
from pathlib import Path
sys.path.insert(0, sys.argv[1])
import homes
fx = homes.Fixtures.from_dir(sys.argv[2] + "/bin/fixtures")
root = Path(sys.argv[3])
entries = []
for i in range(1, 21):
    version = "1.6.0_03" if i == 20 else "1.4.2_10"   # only the last meets the minimum 1.5
    homes.make_jre(root / f"home{i:02d}", fx, version)
    entries.append(f"Bc:\\bench\\home{i:02d}")
print(";".join(entries))
PY
)

runs() {
    local sum=0 f
    for f in "$HOMES"/home*/bin/java-runs.txt; do
        [ -f "$f" ] && sum=$((sum + $(tr -dc 0-9 <"$f")))
    done
    echo "$sum"
}

search() {
    local label=$1 before after start end
    shift
    before=$(runs)
    start=$(date +%s%N)
    wine "$DRIVER" --set 126=1.5 --set "128=$SEQUENCE" "$@" search >"$WORK/$label.out" 2>"$WORK/$label.err" </dev/null
    end=$(date +%s%N)
    after=$(runs)
    local found inner
    found=$(sed -n 's/^javaExe=//p' "$WORK/$label.out" | tr -d '\r')
    inner=$(sed -n 's/^elapsedMs=//p' "$WORK/$label.out" | tr -d '\r')
    printf '%-5s wall %6d ms  (searchJvm %6s ms)  java.exe runs %3d  found %s\n' \
        "$label" $(((end - start) / 1000000)) "$inner" $((after - before)) "$found"
    echo $((after - before)) >"$WORK/$label.runs"
}

forget() { wine reg delete 'HKCU\SOFTWARE\dalvenco\kavrin\jvms' /f >/dev/null 2>&1 </dev/null || true; }

search cold
search warm
[ "$(cat "$WORK/warm.runs")" = 0 ] || { echo "FAIL: the warm search ran java.exe" >&2; exit 1; }

for i in $(seq -w 1 20); do
    version=1.4.2_10; [ "$i" = 20 ] && version=1.6.0_03
    printf 'JAVA_VERSION="%s"\n' "$version" >"$HOMES/home$i/release"
done
echo "20 homes with release files, empty version cache:"
forget
search modern --set 3100=modern
forget
search classic --set 3100=classic
