#!/usr/bin/env bash
# make power-cut: the power fails under kyr-patch, on LazyFS, a FUSE file system that loses every byte not
# fsynced, as a disk loses what was not flushed to it. A FUSE file system is also where a flush of the
# whole file system (syncfs) writes nothing, so only files flushed one by one survive.
#   - A cold install, cut right after it completed: every file whole.
#   - Updates from version 1 to 2, in place and transactional, cut right after a chosen step of the run:
#     every file is version 1's or version 2's; the next run completes, and a cut right after it leaves
#     version 2 byte for byte. One more update is cut right after it completed.
# Chunk by chunk only: LazyFS reports no free space, so the pack cache keeps no pack there.
# Ends with "power-cut: passed", or with "power-cut: skipped: REASON" and exit code 77 where no FUSE file
# system can be mounted. Needs root (or fusermount3) for the mount.
#   KYR_LAZYFS_SOURCE   the LazyFS source tree (default /work/shared/tools/lazyfs)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lazyfs.sh

work=$PWD/build/power-cut
disk=$work/disk
mnt=$work/mnt
store_tool=build/native/tools/kyr-store/kyr-store
patch_tool=$PWD/build/native/tools/kyr-patch/kyr-patch
failures=0

skip() {
    echo "power-cut: skipped: $*"
    exit 77
}

trap 'lazyfs_unmount' EXIT

[ -c /dev/fuse ] || skip "no /dev/fuse, so LazyFS cannot be mounted"
[ -f "$lazyfs_source/lazyfs/CMakeLists.txt" ] || skip "no LazyFS source in $lazyfs_source (KYR_LAZYFS_SOURCE)"
if ! lazyfs_build; then
    echo "power-cut: LazyFS did not build"
    exit 1
fi
scripts/build.sh --target kyr-store --target kyr-patch native >/dev/null

# A mount left by an interrupted run goes first.
umount "$mnt" 2>/dev/null || true
rm -rf "$work"
mkdir -p "$disk" "$mnt"

# make_game OUT VERSION: 64 files of 1 to 192 KiB in six folders. Version 2 rewrites every fourth file,
# changes 8 KiB in the middle of the next ones, drops four and adds four.
make_game() {
    python3 - "$1" "$2" <<'PY'
import os, random, sys
out, version = sys.argv[1], int(sys.argv[2])
folders = ["Data", "Data/Local", "Data/Maps", "Data/Models", "Data/Sound", "Data/Textures"]
files = {}
for i in range(64):
    rng = random.Random(i)
    files["%s/f%02d.bin" % (folders[i % 6], i)] = bytearray(rng.randbytes(rng.randint(1 << 10, 192 << 10)))
if version == 2:
    for i, path in enumerate(sorted(files)):
        rng = random.Random(1000 + i)
        if i >= 60:
            del files[path]
        elif i % 4 == 0:
            files[path] = bytearray(rng.randbytes(len(files[path])))
        elif i % 4 == 1:
            middle = len(files[path]) // 2
            files[path][middle:middle + 8192] = rng.randbytes(8192)
    for i in range(4):
        files["Data/New/n%d.bin" % i] = random.Random(2000 + i).randbytes((i + 1) * 40000)
for path, data in files.items():
    os.makedirs(os.path.dirname(os.path.join(out, path)), exist_ok=True)
    with open(os.path.join(out, path), "wb") as f:
        f.write(data)
PY
}

# not_whole ROOT VERSION_DIR...: the files of the given versions that ROOT holds with none of their bytes.
# A version without the file allows it to be missing.
not_whole() {
    python3 - "$@" <<'PY'
import os, sys
root, versions = sys.argv[1], sys.argv[2:]
def files(folder):
    return {os.path.relpath(os.path.join(d, f), folder) for d, _, names in os.walk(folder) for f in names}
def read(path):
    with open(path, "rb") as f:
        return f.read()
for path in sorted(set().union(*(files(v) for v in versions))):
    held = read(os.path.join(root, path)) if os.path.isfile(os.path.join(root, path)) else None
    wanted = [read(os.path.join(v, path)) if os.path.isfile(os.path.join(v, path)) else None for v in versions]
    if held not in wanted:
        print(path)
PY
}

# expect_whole WHAT ROOT VERSION_DIR...: reports the files that are not whole; counts a failure.
expect_whole() {
    local what=$1 torn count
    shift
    torn=$(not_whole "$@")
    if [ -z "$torn" ]; then
        echo "  ok: $what"
        return 0
    fi
    count=$(wc -l <<<"$torn")
    echo "  FAILED: $what: $count files are neither version: $(head -n 5 <<<"$torn" | paste -sd ' ')"
    failures=$((failures + 1))
    return 1
}

# run_patch ROOT STORE [FLAG]: kyr-patch into ROOT; its result in $work/result.json.
run_patch() {
    local root=$1 store=$2
    shift 2
    timeout 300 "$patch_tool" update --store "$store" --root "$root" --pubkey "$public_key" --remove-dropped ${1:+"$1"} \
        >"$work/result.json" 2>"$work/patch.log"
}

mount_disk() {
    lazyfs_mount "$disk" "$mnt" && return 0
    if grep -qi -e 'not permitted' -e 'permission denied' "$lazyfs_run/stdout.log"; then
        skip "LazyFS cannot be mounted here: $(grep -i -m1 -e 'not permitted' -e 'permission denied' \
            "$lazyfs_run/stdout.log")"
    fi
    echo "power-cut: LazyFS did not mount:"
    cat "$lazyfs_run/stdout.log"
    exit 1
}

echo "== a game in two versions, published to two stores"
make_game "$work/game-v1" 1
make_game "$work/game-v2" 2
public_key=$("$store_tool" keygen --out "$work/store.key" | tail -n 1)
for version in 1 2; do
    "$store_tool" publish --key "$work/store.key" --in "$work/game-v$version" --out "$work/store" \
        --version "$version.0.0" --pack-size 262144 >/dev/null
    cp -r "$work/store" "$work/store-v$version"
done
echo "version 1: $(find "$work/game-v1" -type f | wc -l) files; version 2 changes, adds or drops $(
    (diff -rq "$work/game-v1" "$work/game-v2" || true) | wc -l)"

# completed_then_cut ID STORE VERSION WHAT EXPECTED [FLAG]: a run into the folder ID on LazyFS that must
# give VERSION, the power cut right after it; then every file must be EXPECTED's.
completed_then_cut() {
    local id=$1 store=$2 version=$3 what=$4 expected=$5 flag=${6:-}
    mount_disk
    if run_patch "$mnt/$id" "$store" "$flag" && grep -q "\"version\":\"$version\"" "$work/result.json" &&
        lazyfs_cut; then
        lazyfs_unmount
        expect_whole "$what" "$disk/$id" "$expected" || true
    else
        echo "  FAILED: $what: $(cat "$work/result.json" "$work/patch.log")"
        failures=$((failures + 1))
        lazyfs_unmount
    fi
}

echo "== a cold install into LazyFS, the power cut right after it completed"
completed_then_cut cold "$work/store-v1" 1.0.0 "every file of version 1 is whole" "$work/game-v1"
# Version 1 as the player has it, installed beside LazyFS: where every update starts.
if ! run_patch "$work/pristine" "$work/store-v1"; then
    echo "power-cut: the install of version 1 beside LazyFS failed: $(cat "$work/result.json" "$work/patch.log")"
    exit 1
fi

# round ID WHAT FLAG OP FROM [TO]: an update of the folder ID that the power cuts right after the first OP
# on a path matching FROM (and, for a rename, onto one matching TO); OP "none": right after it completed.
round() {
    local id=$1 what=$2 flag=$3 op=$4 from=${5:-} to=${6:-}
    local root=$disk/$id
    echo "== $id: $what"
    cp -a "$work/pristine" "$root"
    mount_disk
    if [ "$op" != none ] && ! lazyfs_crash_after "$op" "$from" "$to"; then
        echo "power-cut: LazyFS did not take the crash fault"
        exit 1
    fi
    if run_patch "$mnt/$id" "$work/store-v2" "$flag"; then
        if [ "$op" = none ]; then
            lazyfs_cut || echo "  FAILED: LazyFS did not cut the power"
            lazyfs_unmount
            expect_whole "every file is version 2's" "$root" "$work/game-v2" || true
            return 0
        fi
        echo "  FAILED: the run completed before the power failed"
        failures=$((failures + 1))
    elif ! lazyfs_crashed; then
        echo "  FAILED: the run failed on its own: $(cat "$work/result.json" "$work/patch.log")"
        failures=$((failures + 1))
    fi
    lazyfs_unmount
    # The patch state vouches for the files it names: the next run checks them by their size only.
    if grep -qs '"version":"2.0.0"' "$root/patchstate.json"; then
        expect_whole "the patch state names version 2, and every file is version 2's" "$root" "$work/game-v2" || true
    else
        expect_whole "every file is version 1's or version 2's" "$root" "$work/game-v1" "$work/game-v2" || true
    fi
    completed_then_cut "$id" "$work/store-v2" 2.0.0 "the next run gave version 2, whole after a cut right after it" \
        "$work/game-v2" "$flag"
}

changed_files=$( (diff -rq "$work/game-v1" "$work/game-v2" || true) | grep -o "game-v1/[^ ]* and" |
    sed 's|game-v1/||; s| and||' | sort)
middle_file=$(sed -n "$((($(wc -l <<<"$changed_files") + 1) / 2))p" <<<"$changed_files")
round update1 "in place, cut right after the first file moved onto its name" "" rename '\.updpart'
round update2 "in place, cut when the part of $middle_file is first written" "" write "$middle_file\.updpart"
round update3 "transactional, cut right after the first staged file moved into the game" --transactional \
    rename '\.updstage/' '/update3/[^.]'
round update4 "transactional, cut right after the patch state was replaced" --transactional \
    rename 'patchstate\.json\.tmp' 'patchstate\.json$'
round update5 "transactional, cut right after it completed" --transactional none

if [ "$failures" -ne 0 ]; then
    echo "power-cut: $failures checks failed"
    exit 1
fi
rm -rf "$work"
echo "power-cut: passed"
