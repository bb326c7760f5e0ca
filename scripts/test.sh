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

echo
echo "==== Summary"
echo "$host_summary"
echo "$windows_summary"
if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME STEPS FAILED"; fi
exit "$status"
