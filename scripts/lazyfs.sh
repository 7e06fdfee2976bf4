# shellcheck shell=bash
# LazyFS (a FUSE file system that keeps written data in its own cache until it is fsynced) as a disk whose
# power can be cut. Sourced by scripts/power-cut-test.sh; the calling script runs from the repository root
# with `set -euo pipefail`.
#   lazyfs_build            builds LazyFS into build/lazyfs from its source, $lazyfs_source
#   lazyfs_mount DISK MNT   shows the folder DISK (what the disk holds) at MNT through LazyFS
#   lazyfs_crash_after OP FROM [TO]
#                           the power fails right after the first OP (rename, write, fsync, ...) on a path
#                           matching the regular expression FROM (and, for a rename, onto one matching TO)
#   lazyfs_cut              the power fails now: every byte not fsynced is lost
#   lazyfs_unmount          unmounts (also after a failure), ready for the next lazyfs_mount
# A cut leaves the mount usable; a crash leaves it dead until lazyfs_unmount.

lazyfs_source=${KYR_LAZYFS_SOURCE:-/work/shared/tools/lazyfs}
lazyfs_dir=$PWD/build/lazyfs
lazyfs_program=$lazyfs_dir/src/lazyfs/build/lazyfs
lazyfs_run=$lazyfs_dir/run
lazyfs_pid=""
lazyfs_mounted=""
lazyfs_done_fd=""

# LazyFS builds its cache library and then itself, each in a build folder inside its source tree, so the
# source is copied into build/lazyfs first. Built once; a change of the source builds it again.
lazyfs_build() {
    local changed
    changed=$(cd "$lazyfs_source" && find . -type f -newer "$lazyfs_program" 2>/dev/null | head -n 1)
    if [ -x "$lazyfs_program" ] && [ -z "$changed" ]; then
        return 0
    fi
    echo "building LazyFS into $lazyfs_dir"
    rm -rf "$lazyfs_dir/src" &&
        mkdir -p "$lazyfs_dir" &&
        cp -r "$lazyfs_source" "$lazyfs_dir/src" &&
        cmake -S "$lazyfs_dir/src/libs/libpcache" -B "$lazyfs_dir/src/libs/libpcache/build" -G Ninja \
            -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build "$lazyfs_dir/src/libs/libpcache/build" >/dev/null &&
        cmake -S "$lazyfs_dir/src/lazyfs" -B "$lazyfs_dir/src/lazyfs/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DLAZYFS_BUILD_TESTS=OFF >/dev/null &&
        cmake --build "$lazyfs_dir/src/lazyfs/build" >/dev/null
}

lazyfs_mount() { # lazyfs_mount DISK MNT
    local disk mnt
    disk=$(realpath "$1")
    mnt=$(realpath "$2")
    mkdir -p "$lazyfs_run"
    rm -f "$lazyfs_run/faults.fifo" "$lazyfs_run/done.fifo"
    mkfifo "$lazyfs_run/faults.fifo" "$lazyfs_run/done.fifo"
    # LazyFS opens the answer fifo for writing before it reads a command: it waits for this reader.
    exec {lazyfs_done_fd}<>"$lazyfs_run/done.fifo"
    # No eviction: unsynced data stays in the cache until a flush or the cut, as in a kernel's page cache
    # that has room for the whole game.
    cat >"$lazyfs_run/config.toml" <<TOML
[faults]
fifo_path="$lazyfs_run/faults.fifo"
fifo_path_completed="$lazyfs_run/done.fifo"
[cache]
apply_eviction=false
[cache.simple]
custom_size="128MB"
blocks_per_page=1
[filesystem]
log_all_operations=false
logfile="$lazyfs_run/lazyfs.log"
TOML
    # In a subshell of its own, which reports LazyFS's end by a signal (the crash) to nowhere.
    (
        "$lazyfs_program" "$mnt" --config-path "$lazyfs_run/config.toml" -o modules=subdir -o "subdir=$disk" -f \
            >"$lazyfs_run/stdout.log" 2>&1 &
        echo "$!" >"$lazyfs_run/lazyfs.pid"
        wait "$!"
    ) 2>/dev/null &
    lazyfs_pid=$!
    lazyfs_mounted=$mnt
    local waited=0
    # 0x65735546: the mount is up once MNT is a FUSE file system.
    until [ "$(stat -f -c %t "$mnt" 2>/dev/null)" = 65735546 ]; do
        if ! kill -0 "$lazyfs_pid" 2>/dev/null; then
            return 1
        fi
        if [ "$waited" -ge 600 ]; then
            kill "$(cat "$lazyfs_run/lazyfs.pid")" 2>/dev/null || true
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
}

# The fault worker takes what one read of its fifo gives as one command: the callers wait until a command
# was taken before they send the next.
lazyfs_command() { # lazyfs_command TEXT
    echo "$1" >"$lazyfs_run/faults.fifo"
}

lazyfs_crash_after() { # lazyfs_crash_after OP FROM [TO]
    local command="lazyfs::crash::timing=after::op=$1::from_rgx=$2"
    [ -z "${3:-}" ] || command+="::to_rgx=$3"
    local registered
    registered=$(grep -c 'VALID crash fault' "$lazyfs_run/lazyfs.log" || true)
    lazyfs_command "$command"
    local waited=0
    until [ "$(grep -c 'VALID crash fault' "$lazyfs_run/lazyfs.log" || true)" -gt "$registered" ]; do
        [ "$waited" -lt 100 ] || return 1
        sleep 0.1
        waited=$((waited + 1))
    done
}

lazyfs_cut() {
    lazyfs_command "lazyfs::clear-cache"
    local answer=""
    read -r -t 60 -u "$lazyfs_done_fd" answer && [ "$answer" = "finished::clear-cache" ]
}

# True when a crash fault ended LazyFS.
lazyfs_crashed() {
    grep -q 'Killing LazyFS' "$lazyfs_run/lazyfs.log"
}

lazyfs_unmount() {
    if [ -n "$lazyfs_mounted" ]; then
        umount "$lazyfs_mounted" 2>/dev/null || fusermount3 -u "$lazyfs_mounted" 2>/dev/null ||
            umount -l "$lazyfs_mounted" 2>/dev/null || true
        lazyfs_mounted=""
    fi
    if [ -n "$lazyfs_pid" ]; then
        wait "$lazyfs_pid" 2>/dev/null || true
        lazyfs_pid=""
    fi
    if [ -n "$lazyfs_done_fd" ]; then
        exec {lazyfs_done_fd}<&-
        lazyfs_done_fd=""
    fi
}
