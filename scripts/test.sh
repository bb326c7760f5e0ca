#!/usr/bin/env bash
# Builds both presets and runs every test layer: the host layers (unit, JNI) and
# the Wine layers (windows, e2e). Exits non-zero when anything fails; ends with
# both ctest summaries.
set -uo pipefail
cd "$(dirname "$0")/.."

JOBS="${KAVRIN_JOBS:-2}"
status=0
host_summary="host: not run"
windows_summary="windows: not run"
fuzz_summary="fuzz: not run"

run() {
    echo "==> $*"
    "$@"
}

# ctest output goes to the terminal and to a log the summary is taken from.
run_ctest() {
    local preset="$1" log="build/ctest-$1.log"
    echo "==> ctest --preset $preset"
    ctest --preset "$preset" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local summary
    summary=$(grep -E "tests passed|No tests were found" "$log" | tail -1)
    printf -v "${preset}_summary" '%s: %s' "$preset" "${summary:-no summary (rc $rc)}"
    return "$rc"
}

mkdir -p build
# The host build comes first: the Wine end-to-end tests pack with the host builder.
if run cmake --preset host && run cmake --build --preset host -j"$JOBS"; then
    run_ctest host || status=1
else
    echo "FAILED: host build"
    host_summary="host: build failed"
    status=1
fi

if run cmake --preset windows && run cmake --build --preset windows -j"$JOBS"; then
    # Work directories of earlier end-to-end runs (their logs are kept for reading).
    rm -rf build/windows/e2e-tmp/* build/windows/wine-unit
    run_ctest windows || status=1
else
    echo "FAILED: windows build"
    windows_summary="windows: build failed"
    status=1
fi

# ---- Fuzz smoke run ------------------------------------------------------------
# Every libFuzzer target for 20 seconds on its seed corpus (the long runs are not
# part of CI). Any finding fails the run; scripts/fuzz.sh ends with one "FUZZ:" line.
echo "==> scripts/fuzz.sh ${KAVRIN_FUZZ_SECONDS:-20}"
scripts/fuzz.sh "${KAVRIN_FUZZ_SECONDS:-20}" 2>&1 | tee build/fuzz-smoke.log
fuzz_rc=${PIPESTATUS[0]}
fuzz_summary="fuzz: $(grep -E '^FUZZ: ' build/fuzz-smoke.log | tail -1 | sed 's/^FUZZ: //')"
[ "$fuzz_summary" = "fuzz: " ] && fuzz_summary="fuzz: no result (rc $fuzz_rc)"
if [ "$fuzz_rc" -ne 0 ]; then
    echo "FAILED: fuzz smoke run"
    status=1
fi
# ---------------------------------------------------------------------------------

echo
echo "==== Summary"
echo "$host_summary"
echo "$windows_summary"
echo "$fuzz_summary"
if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME STEPS FAILED"; fi
# One closing count over both ctest runs: "N passed, N failed".
total=0
failed=0
for log in build/ctest-host.log build/ctest-windows.log; do
    line=$(grep -E "tests failed out of [0-9]+" "$log" 2>/dev/null | tail -1)
    [ -n "$line" ] || continue
    total=$((total + $(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")))
done
echo "tests: $((total - failed)) passed, $failed failed"
exit "$status"
