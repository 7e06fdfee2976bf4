#!/usr/bin/env bash
# The store check benchmark: `kyr-store verify --all` on a healthy store of about 1 GB (one version of a
# synthetic game: its chunk objects and its packs) against `sha256sum` over the same store's files, both
# with the page cache warm, best of the rounds in elapsed time. Target: verify takes at most sha256sum's time,
# although it also decompresses and hashes every chunk and checks every pack range and signature.
#   KYR_VERIFY_BENCH_BYTES (default 750 MiB of game), KYR_BENCH_ROUNDS (3), KYR_BENCH_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bytes=${KYR_VERIFY_BENCH_BYTES:-786432000}
rounds=${KYR_BENCH_ROUNDS:-3}
work=${KYR_BENCH_DIR:-$root/build/bench}/verify
store_tool=$root/build/native/tools/kyr-store/kyr-store
[ -x "$store_tool" ] || { echo "store_verify_bench: build the native preset first"; exit 1; }

mkdir -p "$work"
cd "$work"
# The store is made once per size and kept: publishing is not what is measured.
if [ "$(cat inputs.stamp 2>/dev/null)" != "$bytes" ]; then
    echo "== generating a game of $bytes bytes and its store"
    rm -rf game store key.txt publish.txt inputs.stamp
    python3 "$root/bench/make_game.py" v1 game --bytes "$bytes" --files 1500
    "$store_tool" keygen --out key.txt >/dev/null
    "$store_tool" publish --key key.txt --in game --out store --version 1 >publish.txt
    echo "$bytes" >inputs.stamp
fi
pubkey=$(sed -n "s/.*public key: *//p" publish.txt)
store_bytes=$(find store -type f -printf '%s\n' | awk '{s += $1} END {print s}')
store_files=$(find store -type f | wc -l)

# best NAME COMMAND...: the shortest elapsed time of the rounds, in seconds.
best() {
    local fastest="" start end took
    for _ in $(seq 1 "$rounds"); do
        sync
        start=$(date +%s.%N)
        "${@:2}" >"$1.out" 2>&1 || { echo "$1 failed:"; tail -n 5 "$1.out"; exit 1; }
        end=$(date +%s.%N)
        took=$(echo "$end - $start" | bc)
        if [ -z "$fastest" ] || [ "$(echo "$took < $fastest" | bc)" = 1 ]; then fastest=$took; fi
    done
    echo "$fastest"
}

sha256sum_all() { find store -type f -print0 | xargs -0 sha256sum; }
find store -type f -exec cat {} + >/dev/null # the page cache holds the store for both
sha=$(best sha256sum sha256sum_all)
verify=$(best verify "$store_tool" verify --out store --all --pubkey "$pubkey")
grep -q "^store is sound" verify.out || { echo "verify found problems:"; tail -n 5 verify.out; exit 1; }

printf '\nstore of %d MiB in %d files: kyr-store verify --all %.2fs, sha256sum %.2fs (verify/sha256sum %.2f, target <= 1)\n' \
    "$((store_bytes >> 20))" "$store_files" "$verify" "$sha" "$(echo "scale=3; $verify / $sha" | bc)"
tail -n 1 verify.out
{
    echo "store_bytes=$store_bytes"
    echo "store_files=$store_files"
    echo "rounds=$rounds"
    echo "verify=$verify"
    echo "sha256sum=$sha"
} >results.txt
