#!/usr/bin/env bash
# Builds the native preset, runs every benchmark program (figures on stdout and in build/bench/) and
# writes docs/performance.md from them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh native
mkdir -p build/bench
for program in build/native/bench/*_bench; do
    [ -x "$program" ] || continue
    name=$(basename "$program")
    echo "== $name"
    # The build's and the previous program's writes reach the disk first, not beside the measurement.
    sync
    "$program" --benchmark_out="build/bench/$name.json" --benchmark_out_format=json
done

echo "== sha256sum, the portable SHA-256's reference"
sample=$(mktemp)
head -c 268435456 /dev/urandom >"$sample"
# The best of three runs in CPU time, as the benchmark programs count theirs.
seconds=$(for run in 1 2 3; do { /usr/bin/time -f %U sha256sum "$sample" >/dev/null; } 2>&1; done | sort -g | head -n 1)
rm -f "$sample"
echo "gbps=$(echo "scale=3; 0.268435456 / $seconds" | bc)" | tee build/bench/sha256sum.txt

echo "== update benchmark (kyr-patch, casync, rsync)"
bench/update_bench.sh

echo "== store check benchmark (kyr-store verify, sha256sum)"
bench/store_verify_bench.sh

bench/report.py
