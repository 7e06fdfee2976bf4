#!/usr/bin/env bash
# The main job as far as it exists today: a game folder kept up to date from a signed patch store.
# Builds everything, makes a synthetic game (no real client files), publishes version 1 with kyr-store,
# serves the store with nginx on loopback, installs it with kyr-patch, publishes version 2 (a few changed
# files) and updates again, then reads a server directory with kyr-inspect natively and under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/build.sh native win64 win32

out=$root/out/demo
rm -rf "$out"
mkdir -p "$out"
store_tool=$root/build/native/tools/kyr-store/kyr-store
patch_tool=$root/build/native/tools/kyr-patch/kyr-patch
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    WINEPREFIX=$root/build/win64/wineprefix wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

echo
echo "== a synthetic game, version 1"
python3 bench/make_game.py v1 "$out/game-v1" --bytes $((40 << 20)) --files 60
python3 bench/make_game.py v2 "$out/game-v1" "$out/game-v2"

echo
echo "== the operator publishes version 1"
public_key=$("$store_tool" keygen --out "$out/store.key")
"$store_tool" publish --key "$out/store.key" --in "$out/game-v1" --out "$out/store" --version 1

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$out/nginx/logs" "$out/nginx/tmp"
cat >"$out/nginx/nginx.conf" <<CONF
worker_processes 1;
error_log $out/nginx/logs/error.log;
pid $out/nginx/nginx.pid;
events { worker_connections 64; }
http {
    access_log $out/nginx/logs/access.log;
    client_body_temp_path $out/nginx/tmp;
    proxy_temp_path $out/nginx/tmp;
    fastcgi_temp_path $out/nginx/tmp;
    uwsgi_temp_path $out/nginx/tmp;
    scgi_temp_path $out/nginx/tmp;
    server { listen 127.0.0.1:$port; root $out/store; }
}
CONF
nginx -p "$out/nginx" -c "$out/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
sleep 0.5
store_url=http://127.0.0.1:$port/

update() {
    "$patch_tool" update --store "$store_url" --root "$out/player" --pubkey "$public_key" --prefetch 4 \
        --transactional | tee "$out/result-$1.json"
}

echo
echo "== the player's first install (store $store_url)"
update install
echo
echo "== the operator publishes version 2"
"$store_tool" publish --key "$out/store.key" --in "$out/game-v2" --out "$out/store" --version 2 | tail -n 9
echo
echo "== the player updates: only what changed is downloaded"
update v2
echo
echo "== and once more: already current"
update current

if diff -r -q "$out/game-v2" "$out/player" | grep -v "^Only in $out/player"; then
    echo "the player's folder differs from version 2"
    exit 1
fi
echo "The player's folder equals version 2 byte for byte."

echo
echo "== kyr-inspect reads a server directory, natively and as a Windows program under Wine"
cat >"$out/servers.json" <<'JSON'
{"schema": 1, "servers": [
  {"slug": "valdra-main", "name": "Valdra Main", "kind": "oficial", "order": 1, "state": "online",
   "rates": {"exp": 100, "drop": "x2"}, "online": 412, "maxOnline": 1000,
   "endpoints": [{"region": "EU", "label": "Europe", "ip": "127.0.0.1", "port": 44405},
                 {"region": "sa_east", "ip": "127.0.0.2", "port": 44405}]},
  {"slug": "fast-x50", "name": "Fast x50", "kind": "fast", "order": 2, "access": "code",
   "endpoints": [{"ip": "127.0.0.1", "port": 44406}]}]}
JSON
build/native/tools/kyr-inspect/kyr-inspect servers "$out/servers.json" >"$out/servers.native.json"
scripts/wine-run "$root/build/win64/wineprefix" build/win64/tools/kyr-inspect/kyr-inspect.exe \
    servers "$out/servers.json" | tr -d '\r' >"$out/servers.wine.json"
cmp "$out/servers.native.json" "$out/servers.wine.json" && echo "Both builds read the same directory:"
head -c 600 "$out/servers.native.json"
echo "..."

echo
echo "Done. Everything is in $out:"
echo "  game-v1/, game-v2/   the two published versions      store/   the signed patch store"
echo "  player/              the player's installation        result-*.json   each run's result"
echo "The shipped 32-bit programs: $(find build/win32 -name '*.exe' -not -path '*/CMakeFiles/*' | tr '\n' ' ')"
echo "Try it by hand: change a file in $out/player and run"
echo "  $patch_tool update --store <a store URL> --root $out/player --pubkey $public_key"
echo "(the store is served only while the demo runs; serve $out/store with any static HTTP server)."
