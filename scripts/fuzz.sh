#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan/UBSan) and runs each for a bounded time.
#   KYR_FUZZ_SECONDS  time per target (default 60)
#   scripts/fuzz.sh [TARGET...]   only the named targets (e.g. server_directory_fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${KYR_FUZZ_SECONDS:-60}
scripts/build.sh fuzz

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    mapfile -t targets < build/fuzz/fuzz-targets.txt
fi

status=0
for target in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    seeds=()
    [ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
    echo "== fuzz $target for ${seconds}s"
    if ! build/fuzz/fuzz/"$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="build/fuzz/$target-" "$corpus" "${seeds[@]}" 2>build/fuzz/"$target".log; then
        tail -n 40 build/fuzz/"$target".log
        status=1
    else
        grep -E 'stat::number_of_executed_units|Done' build/fuzz/"$target".log | tail -n 2 || true
    fi
done
exit "$status"
