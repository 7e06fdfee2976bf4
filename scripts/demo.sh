#!/usr/bin/env bash
# The main job as far as it exists today: builds the native tools and the Windows programs, writes a
# synthetic server directory, and reads it with kyr-inspect natively and, as a Windows program, under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh native win64 win32

out=out/demo
mkdir -p "$out"
cat >"$out/servers.json" <<'JSON'
{
  "schema": 1,
  "servers": [
    {"slug": "valdra-main", "name": "Valdra Main", "kind": "oficial", "order": 1,
     "rates": {"exp": 100, "drop": "x2"}, "state": "online", "online": 412, "maxOnline": 1000,
     "description": "Demo server on the loopback address",
     "endpoints": [{"region": "EU", "label": "Europe", "ip": "127.0.0.1", "port": 44405, "priority": 0},
                   {"region": "sa_east", "ip": "127.0.0.2", "port": 44405}],
     "channels": [{"code": 0, "name": "Main 1", "group": "Valdra"}]},
    {"slug": "fast-x50", "name": "Fast x50", "kind": "fast", "order": 2, "access": "code",
     "endpoints": [{"ip": "127.0.0.1", "port": 44406}]},
    {"slug": "Bad_Slug", "name": "skipped: invalid slug", "endpoints": [{"ip": "127.0.0.1", "port": 1}]}
  ]
}
JSON

echo
echo "== kyr-inspect servers (native)"
build/native/tools/kyr-inspect/kyr-inspect servers "$out/servers.json" | tee "$out/servers.native.json"

echo
echo "== kyr-inspect.exe servers (Windows 64-bit build under Wine)"
scripts/wine-run "$PWD/build/win64/wineprefix" build/win64/tools/kyr-inspect/kyr-inspect.exe \
    servers "$out/servers.json" | tr -d '\r' | tee "$out/servers.wine.json"
WINEPREFIX=$PWD/build/win64/wineprefix wineserver -k 2>/dev/null || true

if cmp -s "$out/servers.native.json" "$out/servers.wine.json"; then
    echo
    echo "Native and Windows builds read the directory identically."
fi
echo
echo "The shipped 32-bit programs: $(find build/win32 -name '*.exe' -not -path '*/CMakeFiles/*' | tr '\n' ' ')"
echo "Demo files: $out/"
