#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages only, and unpacks the zstd
# source that the cross builds (MinGW, native32) compile. Idempotent: when everything is present it only checks.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps_dir=${KYR_DEPS_DIR:-$root/.deps}

packages=(
    cmake ninja-build make g++ clang libclang-rt-14-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    g++-multilib qemu-user-static
    wine wine64 fonts-wine xvfb x11-apps imagemagick
    libboost-json1.81-dev libzstd-dev zstd libcurl4-openssl-dev libsodium-dev libssl-dev openssl
    googletest libgtest-dev libbenchmark-dev
    nginx-light python3 file xz-utils dpkg-dev ca-certificates
    casync rsync time bc xdotool osslsigncode iproute2
    # bench/profile_cold.sh: system call counts and profiles of a cold install
    strace linux-perf
    # LazyFS, the power-cut test's file system: FUSE 3 to build and mount it, toml11 and spdlog for its cache
    libfuse3-dev fuse3 libtoml11-dev libspdlog-dev
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

apt_updated=0
apt_update() {
    [ "$apt_updated" -eq 1 ] && return 0
    # Another architecture's lists may fail to load; that does not stop the installs we need.
    as_root apt-get update -qq || true
    apt_updated=1
}

if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup-deps: installing ${missing[*]}"
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# zstd has no MinGW or 32-bit package here: the cross builds compile Debian's own source of it.
zstd_src=$deps_dir/zstd
if [ ! -f "$zstd_src/lib/zstd.h" ]; then
    src_list=/etc/apt/sources.list.d/kyr-deb-src.sources
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
        as_root tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        apt_updated=0
    fi
    apt_update
    work=$(mktemp -d)
    chmod 755 "$work"   # lets apt's unprivileged download user write there
    (cd "$work" && apt-get source --download-only -qq zstd >/dev/null)
    tarball=$(ls "$work"/*.orig.tar.* | head -n 1)
    mkdir -p "$zstd_src"
    tar -xf "$tarball" -C "$zstd_src" --strip-components=1
    rm -rf "$work"
    echo "setup-deps: zstd source unpacked into $zstd_src"
fi
