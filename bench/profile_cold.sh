#!/usr/bin/env bash
# Where a kyr-patch cold install spends its time: one install of the update benchmark's game from nginx on
# loopback under `strace -f -c` (system calls: how many and how long), and, where perf works, one under
# `perf stat` and one under `perf record -a -g` (the hottest symbols of the whole machine, the kernel's
# writeback included). No verdicts: make bench judges; this is for finding why.
#   bench/profile_cold.sh [STORE]   s1 (default: the benchmark game), large (one large file) or slow
# In a virtual machine without hardware counters (perf stat shows cycles "not supported") perf samples on a
# timer, so kernel time spent with interrupts off shows up at the point they are enabled again
# (pvm_irq_enable and the like): read the kernel's share as a whole, not symbol by symbol.
# Uses the inputs bench/update_bench.sh made (run it once first, at any size); output in
# build/bench/profile (strace.txt, perf-stat.txt, perf-machine.txt, perf-kyr-patch.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

store=${1:-s1}
work=${KYR_BENCH_DIR:-$root/build/bench}/update
out=$root/build/bench/profile
patch_tool=$root/build/native/tools/kyr-patch/kyr-patch
case $store in
    s1 | large) publish=publish-v2.txt ;;
    slow) publish=publish-slow.txt ;;
    *) echo "usage: profile_cold.sh [s1 | large | slow]"; exit 2 ;;
esac
[ -d "$work/www/$store" ] && [ -f "$work/$publish" ] ||
    { echo "profile_cold: no $store store in $work: run bench/update_bench.sh first"; exit 1; }
command -v strace >/dev/null || { echo "profile_cold: strace is missing (scripts/setup-deps.sh installs it)"; exit 1; }

mkdir -p "$out"
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true' EXIT
source "$root/bench/loopback.sh"
start_nginx "$work"
sleep 1
pubkey=$(sed -n "s/.*public key: *//p" "$work/$publish" | head -n 1)
target=$work/t-profile

# cold COMMAND...: a cold install of the store under COMMAND (a profiler), from a clean, synced start.
cold() {
    rm -rf "$target"
    sync
    "$@" "$patch_tool" update --store "http://127.0.0.1:$http_port/$store/" --pubkey "$pubkey" --root "$target" \
        --prefetch 16 >"$out/last.out" 2>"$out/last.err" || { echo "kyr-patch failed:"; tail -n 5 "$out/last.err"; exit 1; }
}

echo "== strace -f -c (system calls of kyr-patch and its threads; strace slows it down, counts are what tell)"
cold strace -f -c -S time -o "$out/strace.txt"
head -n 17 "$out/strace.txt"
echo "-- the calls that tell how data reaches the disk:"
grep -E ' (futex|syncfs|fsync|fdatasync|sync_file_range|write|pwrite64|writev|pwritev|read|pread64|readv|recvfrom|copy_file_range|openat|renameat2?|rename|ftruncate|fallocate|mmap|munmap|madvise)$' \
    "$out/strace.txt" || true

if ! perf stat -e task-clock true >/dev/null 2>&1; then
    echo "== perf: not usable here ($(perf stat -e task-clock true 2>&1 | tail -n 1)); strace only"
    exit 0
fi
echo "== perf stat"
cold perf stat -d -o "$out/perf-stat.txt"
grep -E 'task-clock|context-switches|cpu-migrations|page-faults|cycles|instructions|elapsed|user|sys' \
    "$out/perf-stat.txt" || true
echo "== perf record -a -g: the hottest symbols during the install (self time)"
cold perf record -a -g -q -o "$out/perf.data"
# top FILE OPTION...: perf's report of the recording, without its padding.
top() {
    perf report -i "$out/perf.data" --no-children --stdio -q -g none --percent-limit 0.5 "${@:2}" 2>/dev/null |
        sed -E 's/[[:space:]-]+$//' | grep -v '^$' >"$out/$1" || true
}
top perf-machine.txt --sort comm,dso,symbol
top perf-kyr-patch.txt --comms kyr-patch --sort dso,symbol
echo "-- the whole machine (other programs and the kernel's writeback included):"
head -n 15 "$out/perf-machine.txt"
echo "-- kyr-patch alone:"
head -n 25 "$out/perf-kyr-patch.txt"
echo "(full reports in $out; perf report -i $out/perf.data for the call graphs)"
rm -rf "$target"
