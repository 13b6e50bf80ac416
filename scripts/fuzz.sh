#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for SECONDS (default 60) on
# its seed corpus in tests/fuzz/corpus/. Usage: bash scripts/fuzz.sh [SECONDS] [TARGET...]
# with TARGET one of response_parser, remote_config, video_ref, related_videos (default: all).
# New inputs go to <build>/fuzz-corpus/, crashing ones to <build>/fuzz-artifacts/; the seeds in
# the tree are only read.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/sanitize-build.sh

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(response_parser remote_config video_ref related_videos)
fi

bash scripts/install-deps.sh
configure_sanitize_build >/dev/null
cmake --build "$sanitize_build" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1
artifacts="$sanitize_build/fuzz-artifacts"
mkdir -p "$artifacts"
status=0
for target in "${targets[@]}"; do
    corpus="$sanitize_build/fuzz-corpus/$target"
    log="$sanitize_build/fuzz-$target.log"
    mkdir -p "$corpus"
    # One process, one worker: the machine is shared. A unit slower than 25 s counts as a finding.
    if "$sanitize_build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=25 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        coverage=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
        echo "fuzz_$target: ${runs:-?} runs in ${seconds} s, ${coverage:-no coverage line}, no findings"
    else
        echo "fuzz_$target: FAILED, see $log and $artifacts/" >&2
        tail -n 40 "$log" >&2
        status=1
    fi
done
exit $status
