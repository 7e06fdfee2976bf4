#!/usr/bin/env bash
# Configures and builds the given presets (default: every preset that `make test` needs).
# scripts/build.sh [--target NAME]... [PRESET]...   builds only the named targets of each preset
set -euo pipefail
cd "$(dirname "$0")/.."

targets=()
while [ "${1:-}" = --target ]; do
    [ "$#" -ge 2 ] || { echo "build.sh: --target needs a target name" >&2; exit 2; }
    targets+=(--target "$2")
    shift 2
done
presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(native native-asan native32 win64 win32)

# One build of a preset at a time: several shells (or developers) may share this checkout.
mkdir -p build
for preset in "${presets[@]}"; do
    echo "== build $preset"
    (
        flock 9
        if [ ! -f "build/$preset/build.ninja" ]; then
            cmake --preset "$preset" >/dev/null
        fi
        cmake --build --preset "$preset" "${targets[@]}"
    ) 9>"build/.$preset.lock"
done
