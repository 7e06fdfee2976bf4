#!/usr/bin/env bash
# The update benchmark: kyr-patch against casync and an rsync daemon on the same synthetic game, all
# served on loopback, in the same round, and kyr-patch alone on a cold install of a small game with one
# large file, with packs and without. Prints the median time of each case, the ratios and kyr-patch's
# peak memory (the largest RSS of its rounds).
#   KYR_BENCH_BYTES (default 1.2 GB), KYR_BENCH_FILES (2000), KYR_BENCH_ROUNDS (3),
#   KYR_BENCH_LARGE_FILE_BYTES (1 GiB), KYR_BENCH_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bytes=${KYR_BENCH_BYTES:-1258291200}
files=${KYR_BENCH_FILES:-2000}
rounds=${KYR_BENCH_ROUNDS:-3}
large_bytes=${KYR_BENCH_LARGE_FILE_BYTES:-1073741824}
work=${KYR_BENCH_DIR:-$root/build/bench/update}
store_tool=$root/build/native/tools/kyr-store/kyr-store
patch_tool=$root/build/native/tools/kyr-patch/kyr-patch

for tool in casync rsync nginx /usr/bin/time "$store_tool" "$patch_tool"; do
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

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Inputs are made once per size and kept: generating and publishing is not what is measured.
stamp="$bytes-$files-$large_bytes"
if [ "$(cat inputs.stamp 2>/dev/null)" != "$stamp" ]; then
    echo "== generating the game ($bytes bytes, $files files) and its stores"
    rm -rf game-v1 game-v2 game-large www key.txt inputs.stamp
    python3 "$root/bench/make_game.py" v1 game-v1 --bytes "$bytes" --files "$files"
    python3 "$root/bench/make_game.py" v2 game-v1 game-v2
    "$store_tool" keygen --out key.txt >/dev/null
    mkdir -p www
    "$store_tool" publish --key key.txt --in game-v1 --out www/s1 --version 1 >/dev/null
    "$store_tool" publish --key key.txt --in game-v1 --out www/s2 --version 1 >/dev/null
    "$store_tool" publish --key key.txt --in game-v2 --out www/s2 --version 2 | tee publish-v2.txt
    casync make --store=www/castr www/v1.caidx game-v1 >/dev/null
    casync make --store=www/castr www/v2.caidx game-v2 >/dev/null
    echo "== generating the game with one large file ($large_bytes bytes) and its store"
    python3 "$root/bench/make_game.py" v1 game-large --bytes 16777216 --files 16 --large-file "$large_bytes"
    "$store_tool" publish --key key.txt --in game-large --out www/large --version 1 >/dev/null
    echo "$stamp" >inputs.stamp
fi
pubkey=$(sed -n "s/.*public key: *//p" publish-v2.txt | head -n 1)

http_port=$(free_port)
mkdir -p nginx/logs nginx/tmp
cat >nginx/nginx.conf <<CONF
worker_processes 2;
error_log $work/nginx/logs/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx/tmp;
    proxy_temp_path $work/nginx/tmp;
    fastcgi_temp_path $work/nginx/tmp;
    uwsgi_temp_path $work/nginx/tmp;
    scgi_temp_path $work/nginx/tmp;
    types { application/octet-stream bin; }
    server { listen 127.0.0.1:$http_port; root $work/www; }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
pids+=($!)

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
sleep 1

base=http://127.0.0.1:$http_port
declare -A samples peak_rss

# measure NAME PREPARE COMMAND...: runs PREPARE (untimed), then COMMAND, keeping the elapsed seconds and,
# for kyr-patch, the largest peak memory of the rounds (KiB).
measure() {
    local name=$1 prepare=$2
    shift 2
    eval "$prepare"
    # Every case starts with no dirty pages waiting for the disk, whatever the case before it wrote.
    sync
    rm -f last.rss
    local start end rss
    start=$(date +%s.%N)
    "$@" >last.out 2>last.err || { echo "$name failed:"; tail -n 5 last.err last.out; exit 1; }
    end=$(date +%s.%N)
    samples[$name]+="$(echo "$end - $start" | bc) "
    if [ -f last.rss ]; then
        rss=$(tail -n 1 last.rss)
        [ "$rss" -le "${peak_rss[$name]:-0}" ] || peak_rss[$name]=$rss
    fi
}

median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# kyr STORE ROOT [OPTION...]: one kyr-patch run under GNU time, which leaves its peak RSS in last.rss.
kyr() {
    /usr/bin/time -f %M -o last.rss "$patch_tool" update --store "$base/$1/" --root "$2" --pubkey "$pubkey" \
        --prefetch 4 "${@:3}"
}

for round in $(seq 1 "$rounds"); do
    echo "== round $round of $rounds"
    measure kyr_cold "rm -rf t-kyr" kyr s1 t-kyr
    measure kyr_v2 "rm -rf t-kyr2 && cp -a t-kyr t-kyr2" kyr s2 t-kyr2
    cp last.out kyr-v2-result.json
    measure kyr_current "" kyr s2 t-kyr2
    measure kyr_current_nostate "rm -f t-kyr2/patchstate.json t-kyr2/patchstate.manifest.json" kyr s2 t-kyr2

    measure casync_cold "rm -rf t-cas" casync extract --store="$base/castr" "$base/v1.caidx" t-cas
    measure casync_v2 "rm -rf t-cas2" casync extract --store="$base/castr" --seed=t-cas "$base/v2.caidx" t-cas2
    measure casync_current "rm -rf t-cas3" casync extract --store="$base/castr" --seed=t-cas2 "$base/v2.caidx" t-cas3

    measure rsync_cold "rm -rf t-rs" rsync -a "rsync://127.0.0.1:$rsync_port/v1/" t-rs/
    measure rsync_v2 "" rsync -a --delete "rsync://127.0.0.1:$rsync_port/v2/" t-rs/
    measure rsync_current "" rsync -a --delete "rsync://127.0.0.1:$rsync_port/v2/" t-rs/
    measure rsync_checksum "" rsync -a -c --delete "rsync://127.0.0.1:$rsync_port/v2/" t-rs/

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

m() { median "${samples[$1]}"; }
ratio() { echo "scale=2; $1 / $2" | bc; }
largest=$(find game-v1 -type f -printf '%s\n' | sort -n | tail -n 1)
downloaded=$(sed -n 's/.*"bytes_downloaded":\([0-9]*\).*/\1/p' kyr-v2-result.json)
new_chunks=$(sed -n 's/.*compressed: .*(\(.*\) written).*/\1/p' publish-v2.txt)

printf '\n%-34s %10s %10s %10s   %s\n' case kyr-patch casync rsync "kyr/casync  kyr/rsync"
row() { printf '%-34s %9.3fs %9.3fs %9.3fs   %9.2fx %9.2fx\n' "$1" "$2" "$3" "$4" "$(ratio "$3" "$2")" "$(ratio "$2" "$4")"; }
row "cold install" "$(m kyr_cold)" "$(m casync_cold)" "$(m rsync_cold)"
row "version 1 to 2" "$(m kyr_v2)" "$(m casync_v2)" "$(m rsync_v2)"
row "already current (state / quick)" "$(m kyr_current)" "$(m casync_current)" "$(m rsync_current)"
row "already current (hash all / -c)" "$(m kyr_current_nostate)" "$(m casync_current)" "$(m rsync_checksum)"
echo
echo "kyr/casync is how many times faster kyr-patch is; kyr/rsync how many times rsync's time it takes."
echo "version 2: kyr-patch downloaded $(echo "scale=1; $downloaded / 1048576" | bc) MiB; the new chunk objects of version 2 hold $new_chunks (limit 1.3x)"
mib() { echo "$((peak_rss[$1] / 1024)) MiB"; }
echo "peak memory of kyr-patch: cold install $(mib kyr_cold), version 1 to 2 $(mib kyr_v2), already current" \
    "$(mib kyr_current) / $(mib kyr_current_nostate) (largest file $((largest >> 20)) MiB; limit 2x + 64 MiB =" \
    "$(((2 * largest >> 20) + 64)) MiB)"
printf 'cold install with one file of %d MiB: packs %.3fs, %s; no packs %.3fs, %s (limit %d MiB)\n' \
    "$((large_bytes >> 20))" "$(m kyr_large_packs)" "$(mib kyr_large_packs)" "$(m kyr_large_nopacks)" \
    "$(mib kyr_large_nopacks)" "$(((2 * large_bytes >> 20) + 64))"

# The same figures, one per line, for bench/report.py.
{
    echo "bytes=$bytes"
    echo "files=$files"
    echo "rounds=$rounds"
    for name in kyr_cold kyr_v2 kyr_current kyr_current_nostate casync_cold casync_v2 casync_current \
        rsync_cold rsync_v2 rsync_current rsync_checksum kyr_large_packs kyr_large_nopacks; do
        echo "$name=$(m "$name")"
        echo "${name}_rounds=${samples[$name]% }"
    done
    for name in "${!peak_rss[@]}"; do
        echo "${name}_peak_rss_kib=${peak_rss[$name]}"
    done
    echo "v2_downloaded_bytes=$downloaded"
    echo "v2_new_chunks=$new_chunks"
    echo "largest_file_bytes=$largest"
    echo "large_file_bytes=$large_bytes"
} >results.txt
