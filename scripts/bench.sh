#!/usr/bin/env bash
# Builds the native preset and runs every benchmark program; figures go to stdout and build/bench/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh native
mkdir -p build/bench
for program in build/native/bench/*_bench; do
    [ -x "$program" ] || continue
    name=$(basename "$program")
    echo "== $name"
    "$program" --benchmark_out="build/bench/$name.json" --benchmark_out_format=json
done

echo "== update benchmark (kyr-patch, casync, rsync)"
bench/update_bench.sh
