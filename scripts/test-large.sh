#!/usr/bin/env bash
# make test-large: a game with one file larger than 4 GiB, published with kyr-store and installed from the
# store folder by the 32-bit kyr-patch under qemu with 2 GiB of address space (a 32-bit Windows process
# without the large-address flag). Then version 2 changes a few MiB in the middle of that file: only the
# chunks around the change are downloaded. Takes several minutes and about 20 GB of disk.
#   KYR_LARGE_FILE_BYTES  size of the large file (default 4 GiB + 64 MiB)
#   KYR_LARGE_DIR         work folder (default build/large; removed at the start)
set -euo pipefail
cd "$(dirname "$0")/.."

size=${KYR_LARGE_FILE_BYTES:-$((4 * 1024 * 1024 * 1024 + 64 * 1024 * 1024))}
work=$(realpath -m "${KYR_LARGE_DIR:-build/large}")
changed_bytes=$((4 * 1024 * 1024))

scripts/build.sh --target kyr-store native >/dev/null
scripts/build.sh --target kyr-patch native32 >/dev/null
kyr_store=build/native/tools/kyr-store/kyr-store
kyr_patch32=build/native32/tools/kyr-patch/kyr-patch

rm -rf "$work"
mkdir -p "$work/game/Data" "$work/player"
game=$work/game
store=$work/store
player=$work/player

# A keystream: cheap to make at disk speed, and no two chunks alike.
keystream() { # keystream BYTES SEED
    head -c "$1" /dev/zero | openssl enc -aes-128-ctr -nosalt -pbkdf2 -pass "pass:$2"
}

echo "== making a game with a $size-byte file"
keystream "$size" world > "$game/Data/world.pak"
keystream 300000 main > "$game/Main.exe"
pubkey=$("$kyr_store" keygen --out "$work/store.key" | tail -n 1)

install() { # install VERSION: publishes the game folder and updates the player's folder through qemu
    "$kyr_store" publish --key "$work/store.key" --in "$game" --out "$store" --version "$1" >/dev/null
    local started=$SECONDS
    /usr/bin/time -f "%M" -o "$work/maxrss" scripts/qemu-i386-run "$kyr_patch32" update --store "$store" \
        --root "$player" --pubkey "$pubkey" | tee "$work/result-$1.json"
    echo "version $1: $((SECONDS - started)) s under qemu, peak memory $(($(cat "$work/maxrss") / 1024)) MiB"
    grep -q '"ok":true' "$work/result-$1.json"
    (cd "$game" && sha256sum Main.exe Data/world.pak) > "$work/want.sha"
    (cd "$player" && sha256sum -c --quiet "$work/want.sha")
    echo "version $1: the installed files equal the published ones"
}

echo "== version 1: cold install"
install 1
echo "== version 2: $changed_bytes bytes changed in the middle of the large file"
keystream "$changed_bytes" change |
    dd of="$game/Data/world.pak" bs=1M seek=$((size / 2 / 1048576)) conv=notrunc status=none
install 2
downloaded=$(grep -o '"bytes_downloaded":[0-9]*' "$work/result-2.json" | grep -o '[0-9]*$')
echo "version 2 downloaded $downloaded bytes for a change of $changed_bytes bytes"
[ "$downloaded" -lt $((changed_bytes + 2 * 1024 * 1024)) ]
rm -rf "$work"
echo "test-large: passed"
