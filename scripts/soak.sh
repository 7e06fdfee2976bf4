#!/usr/bin/env bash
# The long form of the reliability suite: the soak test with many rounds, again under AddressSanitizer
# and UndefinedBehaviorSanitizer with fewer, then every fuzz target for a bounded time (scripts/fuzz.sh).
#   KYR_SOAK_ROUNDS   rounds of the plain run (default 200); the sanitized run does a quarter of them
#   KYR_SOAK_SEED     the soak's seed (default: a new one each time; printed, so a failure can be replayed)
#   KYR_FUZZ_SECONDS  time per fuzz target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${KYR_SOAK_ROUNDS:-200}
seed=${KYR_SOAK_SEED:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}
case "$rounds$seed" in
    *[!0-9]*) echo "KYR_SOAK_ROUNDS and KYR_SOAK_SEED must be whole numbers" >&2; exit 2 ;;
esac
sanitized_rounds=$(( rounds / 4 > 0 ? rounds / 4 : 1 ))

scripts/build.sh native native-asan

status=0
soak() { # soak PRESET ROUNDS
    echo "== soak $1: $2 rounds, KYR_SOAK_SEED=$seed"
    if ! KYR_SOAK_ROUNDS=$2 KYR_SOAK_SEED=$seed build/"$1"/tests/tools_tests --gtest_brief=1 \
        --gtest_filter='PatchSoak.*'; then
        echo "soak $1 failed: replay with KYR_SOAK_SEED=$seed KYR_SOAK_ROUNDS=$2"
        status=1
    fi
}
soak native "$rounds"
soak native-asan "$sanitized_rounds"

scripts/fuzz.sh || status=1
exit "$status"
