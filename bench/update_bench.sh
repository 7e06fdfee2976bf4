#!/usr/bin/env bash
# The update benchmark: kyr-patch against casync and an rsync daemon on the same synthetic game, all
# served on loopback, in the same round; kyr-patch alone on a cold install of a small game with one
# large file, with packs and without; and through a slow link (bench/slow_link.py in front of nginx),
# kyr-patch's cold install of a smaller game and its version 1 to 2 of the main game, the latter also
# from a distant store (the same link with a longer wait before each response). Prints the median time
# of each case, the ratios, kyr-patch's peak memory (the largest RSS of its rounds) and processor use,
# and the bytes the cold installs wrote to the disk; bench/report.py turns results.txt into
# docs/performance.md.
#   update_bench.sh [all | slow-link]     slow-link: only the slow link's cold install (results in slow-link.txt)
#   KYR_BENCH_BYTES (default 1.2 GB), KYR_BENCH_FILES (2000), KYR_BENCH_BIG_FILES (10, of 16..50 MiB),
#   KYR_BENCH_ROUNDS (5), KYR_BENCH_LARGE_FILE_BYTES (1 GiB), KYR_BENCH_DIR,
#   KYR_BENCH_SLOW_BYTES (200 MB), KYR_BENCH_SLOW_FILES (400), KYR_BENCH_SLOW_BIG_FILES (4, of 8..20 MiB),
#   KYR_BENCH_SLOW_ROUNDS (3), KYR_BENCH_SLOW_LATENCY_MS (20), KYR_BENCH_SLOW_MBIT (100),
#   KYR_BENCH_FAR_LATENCY_MS (100)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=${1:-all}
bytes=${KYR_BENCH_BYTES:-1258291200}
files=${KYR_BENCH_FILES:-2000}
big_files=${KYR_BENCH_BIG_FILES:-10}
rounds=${KYR_BENCH_ROUNDS:-5}
large_bytes=${KYR_BENCH_LARGE_FILE_BYTES:-1073741824}
slow_bytes=${KYR_BENCH_SLOW_BYTES:-200000000}
slow_files=${KYR_BENCH_SLOW_FILES:-400}
slow_big_files=${KYR_BENCH_SLOW_BIG_FILES:-4}
slow_rounds=${KYR_BENCH_SLOW_ROUNDS:-3}
slow_latency_ms=${KYR_BENCH_SLOW_LATENCY_MS:-20}
slow_mbit=${KYR_BENCH_SLOW_MBIT:-100}
far_latency_ms=${KYR_BENCH_FAR_LATENCY_MS:-100}
work=${KYR_BENCH_DIR:-$root/build/bench}/update
store_tool=$root/build/native/tools/kyr-store/kyr-store
patch_tool=$root/build/native/tools/kyr-patch/kyr-patch

case $mode in all | slow-link) ;; *) echo "usage: update_bench.sh [all | slow-link]"; exit 2 ;; esac
for tool in casync rsync nginx python3 /usr/bin/time "$store_tool" "$patch_tool"; do
    command -v "$tool" >/dev/null || { echo "update_bench: $tool is missing (make bench installs it)"; exit 1; }
done

mkdir -p "$work"
cd "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

source "$root/bench/loopback.sh"
public_key() { sed -n "s/.*public key: *//p" "$1" | head -n 1; }

# Inputs are made once per size and kept: generating and publishing is not what is measured.
make_main_inputs() {
    local stamp="$bytes-$files-$big_files-$large_bytes"
    [ "$(cat inputs.stamp 2>/dev/null)" != "$stamp" ] || return 0
    echo "== generating the game ($bytes bytes, $files files, $big_files big ones) and its stores"
    rm -rf game-v1 game-v2 game-large www/s1 www/s2 www/castr www/large key.txt inputs.stamp
    python3 "$root/bench/make_game.py" v1 game-v1 --bytes "$bytes" --files "$files" --big-files "$big_files"
    python3 "$root/bench/make_game.py" v2 game-v1 game-v2
    "$store_tool" keygen --out key.txt >/dev/null
    mkdir -p www
    "$store_tool" publish --key key.txt --in game-v1 --out www/s1 --version 1 >/dev/null
    "$store_tool" publish --key key.txt --in game-v1 --out www/s2 --version 1 >/dev/null
    "$store_tool" publish --key key.txt --in game-v2 --out www/s2 --version 2 | tee publish-v2.txt
    casync make --store=www/castr www/v1.caidx game-v1 >/dev/null
    casync make --store=www/castr www/v2.caidx game-v2 >/dev/null
    echo "== generating the game with one large file ($large_bytes bytes) and its store"
    python3 "$root/bench/make_game.py" v1 game-large --bytes 16777216 --files 16 --big-files 0 \
        --large-file "$large_bytes"
    "$store_tool" publish --key key.txt --in game-large --out www/large --version 1 >/dev/null
    echo "$stamp" >inputs.stamp
}

make_slow_inputs() {
    local stamp="$slow_bytes-$slow_files-$slow_big_files"
    [ "$(cat slow-inputs.stamp 2>/dev/null)" != "$stamp" ] || return 0
    echo "== generating the slow link game ($slow_bytes bytes, $slow_files files) and its store"
    rm -rf game-slow www/slow slow-key.txt slow-inputs.stamp
    python3 "$root/bench/make_game.py" v1 game-slow --bytes "$slow_bytes" --files "$slow_files" \
        --big-files "$slow_big_files" --big-min 8388608 --big-max 20971520
    "$store_tool" keygen --out slow-key.txt >/dev/null
    mkdir -p www
    "$store_tool" publish --key slow-key.txt --in game-slow --out www/slow --version 1 >publish-slow.txt
    echo "$stamp" >slow-inputs.stamp
}

start_rsync_daemon() {
    rsync_port=$(free_port)
    cat >rsyncd.conf <<CONF
use chroot = no
[v1]
    path = $work/game-v1
    read only = yes
[v2]
    path = $work/game-v2
    read only = yes
CONF
    rsync --daemon --no-detach --config=rsyncd.conf --port="$rsync_port" --address=127.0.0.1 &
    pids+=($!)
}

# start_link LATENCY_MS NAME: a slow link with that wait before each response, listening on the port
# that it writes to NAME.port.
start_link() {
    rm -f "$2.port"
    python3 "$root/bench/slow_link.py" --upstream "127.0.0.1:$http_port" --latency-ms "$1" \
        --mbit "$slow_mbit" --port-file "$2.port" >/dev/null &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$2.port" ] && break; sleep 0.1; done
}

# The disk that takes the work folder's writes, or why it cannot be measured.
if disk_device=$(python3 "$root/bench/disk_sectors.py" "$work"); then
    disk_device=${disk_device#* }
    disk_cases=" kyr_cold rsync_cold kyr_large_packs kyr_large_nopacks "
else
    disk_cases=""
fi
disk_sectors() { python3 "$root/bench/disk_sectors.py" "$work" | cut -d ' ' -f 1; }

declare -A samples peak_rss cores disk_written own_written

# timed COMMAND...: runs COMMAND under GNU time, which leaves its peak RSS, user and system seconds,
# elapsed seconds and blocks written in last.time.
timed() { /usr/bin/time -f '%M %U %S %e %O' -o last.time "$@"; }

# measure NAME PREPARE COMMAND...: runs PREPARE (untimed), then COMMAND (which uses `timed`), keeping the
# elapsed seconds, the processor use (user + system over elapsed) and, for kyr-patch, the largest peak
# memory of the rounds (KiB). For the cold installs, also the bytes written to the work folder's disk
# (device counters from before the run to after it and a sync) and the bytes the command itself wrote.
measure() {
    local name=$1 prepare=$2
    shift 2
    eval "$prepare"
    # Every case starts with no dirty pages waiting for the disk, whatever the case before it wrote.
    sync
    local start end rss user system wall blocks sectors_before=""
    [[ $disk_cases != *" $name "* ]] || sectors_before=$(disk_sectors)
    rm -f last.time
    start=$(date +%s.%N)
    "$@" >last.out 2>last.err ||
        { echo "$name failed:"; tail -n 5 last.err last.out; exit 1; }
    end=$(date +%s.%N)
    samples[$name]+="$(echo "$end - $start" | bc) "
    read -r rss user system wall blocks < <(tail -n 1 last.time)
    [ "$(echo "$wall > 0" | bc)" = 0 ] || cores[$name]+="$(printf '%.2f' "$(echo "($user + $system) / $wall" | bc -l)") "
    if [[ $name == kyr_* ]] && [ "$rss" -gt "${peak_rss[$name]:-0}" ]; then peak_rss[$name]=$rss; fi
    if [ -n "$sectors_before" ]; then
        sync
        disk_written[$name]+="$((($(disk_sectors) - sectors_before) * 512)) "
        own_written[$name]+="$((blocks * 512)) "
    fi
}

sorted() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g; }
median() { sorted "$1" | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
m() { median "${samples[$1]}"; }
ratio() { echo "scale=2; $1 / $2" | bc; }
game_bytes() { find "$1" -type f -printf '%s\n' | awk '{s+=$1} END {print s}'; }
downloaded() { sed -n 's/.*"bytes_downloaded":\([0-9]*\).*/\1/p' "$1"; }

# kyr_at URL PUBKEY ROOT [OPTION...]: one kyr-patch run; kyr STORE ROOT [OPTION...]: from nginx.
kyr_at() { timed "$patch_tool" update --store "$1" --pubkey "$2" --root "$3" --prefetch 16 "${@:4}"; }
kyr() { kyr_at "$base/$1/" "$pubkey" "$2" "${@:3}"; }

main_rounds() {
    local rsync_v1=rsync://127.0.0.1:$rsync_port/v1/ rsync_v2=rsync://127.0.0.1:$rsync_port/v2/
    for round in $(seq 1 "$rounds"); do
        echo "== round $round of $rounds"
        measure kyr_cold "rm -rf t-kyr" kyr s1 t-kyr
        measure kyr_v2 "rm -rf t-kyr2 && cp -a t-kyr t-kyr2" kyr s2 t-kyr2
        cp last.out kyr-v2-result.json
        measure kyr_current "" kyr s2 t-kyr2
        measure kyr_current_nostate "rm -f t-kyr2/patchstate.json t-kyr2/patchstate.manifest.json" kyr s2 t-kyr2

        measure casync_cold "rm -rf t-cas" timed casync extract --store="$base/castr" "$base/v1.caidx" t-cas
        measure casync_v2 "rm -rf t-cas2" timed casync extract --store="$base/castr" --seed=t-cas "$base/v2.caidx" t-cas2
        measure casync_current "rm -rf t-cas3" timed casync extract --store="$base/castr" --seed=t-cas2 "$base/v2.caidx" t-cas3

        measure rsync_sync "rm -rf t-rs" timed sh -c "rsync -a $rsync_v1 t-rs/ && sync"
        measure rsync_cold "rm -rf t-rs" timed rsync -a "$rsync_v1" t-rs/
        measure rsync_v2 "" timed rsync -a --delete "$rsync_v2" t-rs/
        measure rsync_current "" timed rsync -a --delete "$rsync_v2" t-rs/
        measure rsync_checksum "" timed rsync -a -c --delete "$rsync_v2" t-rs/

        measure kyr_large_packs "rm -rf t-large" kyr large t-large
        measure kyr_large_nopacks "rm -rf t-large" kyr large t-large --pack-min-chunks 0
    done
    rm -rf t-large

    # Files that version 2 no longer lists stay (the updater never deletes what the manifest does not name).
    if diff -r -q game-v2 t-kyr2 | grep -v '^Only in t-kyr2'; then
        echo "kyr-patch version 2 differs from the game"
        exit 1
    fi
    echo "kyr-patch version 2 matches the game byte for byte"
}

slow_rounds() {
    local url=http://127.0.0.1:$slow_port/slow/ key
    key=$(public_key publish-slow.txt)
    for round in $(seq 1 "$slow_rounds"); do
        echo "== slow link round $round of $slow_rounds"
        measure kyr_slow "rm -rf t-slow" kyr_at "$url" "$key" t-slow
    done
    cp last.out kyr-slow-result.json
    rm -rf t-slow
}

# Version 1 to 2 of the bench game through the slow link (full runs only: it starts from the cold install
# of version 1). Its new chunks lie scattered over packs that are mostly installed already, so they come
# as chunk objects, a request each: the case where the prefetch pool's fetching ahead counts.
# update_rounds NAME PORT: version 1 to 2 through the link at PORT, measured as NAME.
update_rounds() {
    local url=http://127.0.0.1:$2/s2/
    for round in $(seq 1 "$slow_rounds"); do
        echo "== $1, version 1 to 2, round $round of $slow_rounds"
        measure "$1" "rm -rf t-slow2 && cp -a t-kyr t-slow2" kyr_at "$url" "$pubkey" t-slow2
    done
    cp last.out "$1-result.json"
    rm -rf t-slow2
}

# The slow link case's figures: KEY=VALUE lines, and a line for a person.
slow_results() {
    local bytes_per_s ideal
    bytes_per_s=$(echo "$slow_mbit * 125000" | bc)
    ideal=$(echo "scale=3; $(downloaded kyr-slow-result.json) / $bytes_per_s" | bc)
    {
        echo "slow_bytes=$(game_bytes game-slow)"
        echo "slow_files=$slow_files"
        echo "slow_rounds=$slow_rounds"
        echo "slow_latency_ms=$slow_latency_ms"
        echo "slow_mbit=$slow_mbit"
        echo "slow_downloaded_bytes=$(downloaded kyr-slow-result.json)"
        echo "slow_ideal=$ideal"
        echo "kyr_slow=$(m kyr_slow)"
        echo "kyr_slow_rounds=${samples[kyr_slow]% }"
        echo "kyr_slow_peak_rss_kib=${peak_rss[kyr_slow]}"
    } >"$1"
    printf 'slow link (%s Mbit/s, %s ms a request): cold install of %s MB in %s files %.3fs, ideal %.3fs' \
        "$slow_mbit" "$slow_latency_ms" "$(($(game_bytes game-slow) / 1000000))" "$slow_files" \
        "$(m kyr_slow)" "$ideal"
    printf ' (%s MB downloaded at the link rate): %sx the ideal\n' \
        "$(($(downloaded kyr-slow-result.json) / 1000000))" "$(ratio "$(m kyr_slow)" "$ideal")"
}

if [ "$mode" = slow-link ]; then
    make_slow_inputs
    start_nginx "$work"
    sleep 1
    start_link "$slow_latency_ms" slow-link
    slow_port=$(cat slow-link.port)
    slow_rounds
    slow_results slow-link.txt
    exit 0
fi

make_main_inputs
make_slow_inputs
pubkey=$(public_key publish-v2.txt)
start_nginx "$work"
start_rsync_daemon
sleep 1
start_link "$slow_latency_ms" slow-link
start_link "$far_latency_ms" far-link
slow_port=$(cat slow-link.port)
far_port=$(cat far-link.port)
base=http://127.0.0.1:$http_port
main_rounds
slow_rounds
update_rounds kyr_slow_v2 "$slow_port"
update_rounds kyr_far_v2 "$far_port"

largest=$(find game-v1 -type f -printf '%s\n' | sort -n | tail -n 1)
new_chunks=$(sed -n 's/.*compressed: .*(\(.*\) written).*/\1/p' publish-v2.txt)
game=$(game_bytes game-v1)
large_game=$(game_bytes game-large)

printf '\n%-34s %10s %10s %10s   %s\n' case kyr-patch casync rsync "kyr/casync  kyr/rsync"
row() { printf '%-34s %9.3fs %9.3fs %9.3fs   %9.2fx %9.2fx\n' "$1" "$2" "$3" "$4" "$(ratio "$3" "$2")" "$(ratio "$2" "$4")"; }
row "cold install" "$(m kyr_cold)" "$(m casync_cold)" "$(m rsync_cold)"
row "version 1 to 2" "$(m kyr_v2)" "$(m casync_v2)" "$(m rsync_v2)"
row "already current (state / quick)" "$(m kyr_current)" "$(m casync_current)" "$(m rsync_current)"
row "already current (hash all / -c)" "$(m kyr_current_nostate)" "$(m casync_current)" "$(m rsync_checksum)"
echo
echo "kyr/casync is how many times faster kyr-patch is; kyr/rsync how many times rsync's time it takes."
printf 'cold install against rsync followed by sync (%.3fs): %sx\n' "$(m rsync_sync)" \
    "$(ratio "$(m kyr_cold)" "$(m rsync_sync)")"
echo "processor use of kyr-patch's cold install: $(median "${cores[kyr_cold]}") cores of $(nproc)"
echo "version 2: kyr-patch downloaded $(echo "scale=1; $(downloaded kyr-v2-result.json) / 1048576" | bc) MiB;" \
    "the new chunk objects of version 2 hold $new_chunks (limit 1.3x)"
mib() { echo "$((peak_rss[$1] / 1024)) MiB"; }
echo "peak memory of kyr-patch: cold install $(mib kyr_cold), version 1 to 2 $(mib kyr_v2), already current" \
    "$(mib kyr_current) / $(mib kyr_current_nostate) (largest file $((largest >> 20)) MiB)"
printf 'cold install with one file of %d MiB: packs %.3fs, %s; no packs %.3fs, %s\n' \
    "$((large_bytes >> 20))" "$(m kyr_large_packs)" "$(mib kyr_large_packs)" "$(m kyr_large_nopacks)" \
    "$(mib kyr_large_nopacks)"
# Other programs on the machine only add to the disk's counters: the smallest round is the closest.
least() { sorted "${disk_written[$1]}" | head -n 1; }
if [ -n "$disk_cases" ]; then
    for name in kyr_cold rsync_cold; do
        echo "disk written by $name ($disk_device): $(ratio "$(least "$name")" "$game")x the game"
    done
    for name in kyr_large_packs kyr_large_nopacks; do
        echo "disk written by $name ($disk_device): $(ratio "$(least "$name")" "$large_game")x the game"
    done
else
    echo "disk written: $(python3 "$root/bench/disk_sectors.py" "$work" || true)"
fi
slow_results slow-link.txt
printf 'version 1 to 2 through the slow link: %.3fs; from a distant store (%s ms a request): %.3fs\n' \
    "$(m kyr_slow_v2)" "$far_latency_ms" "$(m kyr_far_v2)"

# The same figures, one per line, for bench/report.py.
{
    echo "bytes=$game"
    echo "files=$files"
    echo "rounds=$rounds"
    echo "cpus=$(nproc)"
    for name in "${!samples[@]}"; do
        [ "$name" != kyr_slow ] || continue
        echo "$name=$(m "$name")"
        echo "${name}_rounds=${samples[$name]% }"
    done
    for name in "${!peak_rss[@]}"; do
        [ "$name" != kyr_slow ] || continue
        echo "${name}_peak_rss_kib=${peak_rss[$name]}"
    done
    for name in kyr_cold kyr_large_packs kyr_large_nopacks; do
        echo "${name}_cores=$(median "${cores[$name]}")"
        echo "${name}_cores_rounds=${cores[$name]% }"
    done
    if [ -n "$disk_cases" ]; then
        echo "disk_device=$disk_device"
        for name in "${!disk_written[@]}"; do
            echo "${name}_disk_bytes=$(least "$name")"
            echo "${name}_disk_bytes_rounds=${disk_written[$name]% }"
            echo "${name}_own_bytes=$(median "${own_written[$name]}")"
        done
    else
        echo "disk_device=not measured: $(python3 "$root/bench/disk_sectors.py" "$work" | sed 's/^not measured: //' || true)"
    fi
    echo "v2_downloaded_bytes=$(downloaded kyr-v2-result.json)"
    for name in slow_v2 far_v2; do
        echo "${name}_downloaded_bytes=$(downloaded "kyr_$name-result.json")"
        echo "${name}_ideal=$(echo "scale=3; $(downloaded "kyr_$name-result.json") / ($slow_mbit * 125000)" | bc)"
    done
    echo "far_latency_ms=$far_latency_ms"
    echo "v2_new_chunks=$new_chunks"
    echo "largest_file_bytes=$largest"
    echo "large_file_bytes=$large_bytes"
    echo "large_game_bytes=$large_game"
    cat slow-link.txt
} >results.txt
