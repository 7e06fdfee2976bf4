#!/usr/bin/env bash
# The shipped build takes its store and trust key from its build settings alone: fails unless the launcher
# of BUILD_DIR (default build/win32) was configured and compiled with KYR_ALLOW_STORE_OVERRIDE off.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win32}
fail() { echo "check-release-trust: $build: $*" >&2; exit 1; }

grep -qx 'KYR_ALLOW_STORE_OVERRIDE:BOOL=OFF' "$build/CMakeCache.txt" || fail "KYR_ALLOW_STORE_OVERRIDE is not OFF"
grep -q 'KYR_STORE_OVERRIDE_ALLOWED=0' "$build/compile_commands.json" ||
    fail "updater_front_end.cpp is not compiled with KYR_STORE_OVERRIDE_ALLOWED=0"
! grep -q 'KYR_STORE_OVERRIDE_ALLOWED=[^0]' "$build/compile_commands.json" ||
    fail "a source is compiled with the store override allowed"
echo "check-release-trust: $build takes its store and key from the build only"
