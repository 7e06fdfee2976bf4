#!/usr/bin/env bash
# After `make demo`, to try the launcher by hand: serves the demo's store and game servers again and runs
# KyrLauncher.exe in the demo's player folder, on your display (or a private Xvfb, with a screenshot every
# few seconds in out/demo/screenshots/play-*.png). Everything stops when the window closes, or on Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/demo/session.sh
trap stop_everything EXIT

if [ ! -f "$out/store.pub" ] || [ ! -f "$player/KyrLauncher.exe" ]; then
    echo "play.sh: run 'make demo' first" >&2
    exit 1
fi

game_servers_start "$player/servers.cache.json" "$out/game-servers-play.json"
store_server_start "$out/store" "$out/nginx-play" "$store_rate"
display_start
echo "store: $store_url   window: $display_kind"
launcher_start "$player" "$store_url" "$(cat "$out/store.pub")" "$logs/launcher-play.log"
echo "The launcher is open; close its window to stop."
shot=0
while launcher_running; do
    if [ -n "$display_pid" ] && [ $((SECONDS % 5)) -eq 0 ]; then
        shot=$((shot + 1))
        launcher_shot "play-$shot" "" || true
    fi
    sleep 1
done
echo "The launcher has ended."
