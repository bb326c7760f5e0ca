#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for SECONDS seconds (default 20)
# on its seed corpus. Prints one line per target with executions and coverage;
# exits non-zero when any target reports a finding (crash, leak, timeout, sanitizer
# report or broken invariant). Findings are kept under build/fuzz/findings/<target>/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET="${1:-20}"
shift || true
ALL_TARGETS=(config_block split_arguments expand_variables vm_options deletion_queue project_file)
[ "$#" -gt 0 ] && TARGETS=("$@") || TARGETS=("${ALL_TARGETS[@]}")

if ! { cmake --preset fuzz >build-fuzz-configure.log 2>&1 && cmake --build --preset fuzz -j"${KAVRIN_JOBS:-2}"; }; then
    cat build-fuzz-configure.log 2>/dev/null
    rm -f build-fuzz-configure.log
    echo "FUZZ: build failed"
    exit 1
fi
rm -f build-fuzz-configure.log

status=0
failed=()
for target in "${TARGETS[@]}"; do
    exe="build/fuzz/bin/fuzz_${target}"
    seeds="tests/fuzz/corpus/${target}"
    work="build/fuzz/corpus/${target}"       # grows; the seeds stay untouched
    findings="build/fuzz/findings/${target}"
    log="build/fuzz/${target}.log"
    mkdir -p "$work" "$findings"
    "$exe" "$work" "$seeds" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
        -max_len=16384 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
    rc=$?
    execs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}')
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | awk '{print $2}')
    ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | awk '{print $2}')
    corpus=$(ls "$work" | wc -l)
    if [ "$rc" -eq 0 ]; then
        printf 'fuzz %-18s ok       %4ss  executions %-10s coverage %-6s features %-6s corpus %s\n' \
            "$target" "$SECONDS_PER_TARGET" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$corpus"
    else
        printf 'fuzz %-18s FINDING  rc %s, executions %s, see %s and %s\n' "$target" "$rc" "${execs:-?}" "$log" "$findings"
        grep -E 'ERROR: |INVARIANT BROKEN|runtime error|SUMMARY' "$log" | head -5 | sed 's/^/    /'
        status=1
        failed+=("$target")
    fi
done

if [ "$status" -eq 0 ]; then
    echo "FUZZ: all ${#TARGETS[@]} targets ran ${SECONDS_PER_TARGET}s with no finding"
else
    echo "FUZZ: findings in ${failed[*]}"
fi
exit "$status"
