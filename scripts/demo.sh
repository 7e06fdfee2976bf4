#!/usr/bin/env bash
# The main job, end to end on this machine: an operator publishes a synthetic game to a signed store, and
# the real KyrLauncher.exe (the win64 build, under Wine) installs it, shows its servers and settings, takes
# the next version incrementally and starts the stand-in game. Screenshots and a report land in out/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo/session.sh

report_file=$out/report.md
store_tool=$root/build/native/tools/kyr-store/kyr-store
patch_tool=$root/build/native/tools/kyr-patch/kyr-patch
inspect_tool=$root/build/native/tools/kyr-inspect/kyr-inspect
launcher_exe=$root/build/win64/launcher/KyrLauncher.exe
stand_in_exe=$root/build/win64/tests/kyr_stand_in_game.exe
demo_started=$EPOCHREALTIME
download_limit_kbps=2500

cleanup() {
    local status=$?
    [ "$status" -eq 0 ] || [ ! -f "$report_file" ] || report_failure "$status"
    stop_everything
}
trap cleanup EXIT

step() {
    echo
    echo "== $*"
}

build() {
    step "build the tools, the win64 launcher and the stand-in game"
    scripts/build.sh --target kyr-store --target kyr-patch --target kyr-inspect native
    scripts/build.sh --target KyrLauncher --target kyr_stand_in_game win64
}

start_game_servers() {
    step "demo game servers: TCP listeners on 127.0.0.1-3, and the server directory that lists them"
    game_servers_start "$out/servers.cache.json" "$out/game-servers.json"
    "$inspect_tool" servers "$out/servers.cache.json" >"$out/servers.inspected.json"
    local summary
    summary=$(server_summary "$out/servers.inspected.json")
    echo "$summary"
    report "" "## Game servers" "" \
        "TCP listeners, listed in \`servers.cache.json\` (as \`kyr-inspect servers\` reads it):" "" "$summary"
}

make_game() {
    step "a synthetic game: versions 1 and 2 (generated data, the stand-in Main.exe, a generated valdra.main)"
    python3 bench/make_game.py v1 "$out/game-v1" --bytes $((48 << 20)) --files 64
    python3 bench/make_game.py v2 "$out/game-v1" "$out/game-v2"
    local version
    for version in 1 2; do
        python3 scripts/demo/client_files.py "$out/game-v$version" --main-exe "$stand_in_exe" \
            --directory "$out/servers.cache.json"
    done
    "$inspect_tool" client-servers "$out/game-v1" >"$out/client-servers.json"
}

# publish VERSION: kyr-store adds game-vVERSION to the store and moves the channel to it.
publish() {
    "$store_tool" publish --key "$out/store.key" --in "$out/game-v$1" --out "$out/store" --version "$1" \
        >"$logs/publish-$1.log"
    tail -n 4 "$logs/publish-$1.log"
    report "" "## Version $1 published"
    report_code text "$logs/publish-$1.log"
}

# The operator's news (scripts/demo/news.json), signed with the store's key: the launcher's news panel.
publish_news() {
    "$store_tool" news --key "$out/store.key" --in scripts/demo/news.json --out "$out/store" >"$logs/news.log"
    cat "$logs/news.log"
    report "" "## News published" "" \
        "\`kyr-store news\` checked \`scripts/demo/news.json\` and signed it into the store; the launcher shows it:"
    report_code text "$logs/news.log"
}

prepare_player() {
    step "the player's folder: the launcher, its settings and the client's server file, no game data yet"
    mkdir -p "$player/Data/Local"
    cp "$launcher_exe" "$player/KyrLauncher.exe"
    cp "$out/game-v1/Data/Local/valdra.main" "$player/Data/Local/valdra.main"
    cp "$out/servers.cache.json" "$player/servers.cache.json"
    # The system's OpenGL driver: no software renderer library is needed in the folder.
    printf '[Launcher]\r\nEngine=GPU\r\n' >"$player/config.ini"
    # A player on a shared line caps the launcher's downloads; it also keeps the first download on screen
    # long enough for its figures to be shown.
    printf '[Launcher]\r\nDownloadLimitKBps=%d\r\n' "$download_limit_kbps" >"$player/launcher.ini"
    ls -A "$player"
    report "" "The player's folder before the first run: $(cd "$player" && find . -type f | sed 's|^\./||' | sort |
        paste -sd ' ')."
}

# check_player VERSION NAME: the folder equals the published game, and kyr-patch finds nothing to do.
check_player() {
    if diff -r -q "$out/game-v$1" "$player" | grep -v "^Only in $player"; then
        echo "the player's folder differs from version $1" >&2
        return 1
    fi
    "$patch_tool" update --store "$store_url" --root "$player" --pubkey "$public_key" --transactional \
        >"$out/kyr-patch-$2.json" 2>"$logs/kyr-patch-$2.log"
    echo "the player's folder equals version $1 byte for byte; kyr-patch finds it current:"
    cat "$out/kyr-patch-$2.json"
}

# The bytes of the store's answers that the launcher has read since the last store_server_traffic:
# finished answers from the store's access log, and on each connection still open what its socket
# received less what still waits unread in it (a limited download leaves megabytes there) and less the
# answers of that connection that the log already counts (a connection carries several).
store_bytes_taken_now() {
    local port=${store_url##*:}
    port=${port%/}
    ss -tinH state established "( dport = :$port )" | python3 -c '
import re, sys
logged, finished = {}, 0
for number, line in enumerate(open(sys.argv[1]), 1):
    fields = line.split()
    if number > int(sys.argv[2]) and len(fields) >= 4:
        finished += int(fields[1])
        logged[fields[3]] = logged.get(fields[3], 0) + int(fields[1])
under_way, unread, own_port = 0, 0, None
for line in sys.stdin:
    socket = re.match(r"\s*(\d+)\s+\d+\s+\S+:(\d+)\s+\S+:\d+\s*$", line)
    if socket:
        unread, own_port = int(socket.group(1)), socket.group(2)
    received = re.search(r"bytes_received:(\d+)", line)
    if received and own_port:
        under_way += max(0, int(received.group(1)) - unread - logged.get(own_port, 0))
print(finished + under_way)' "$store_server_log" "$store_server_seen"
}

# attempt_install VERSION RUN: starts the launcher, screenshots it, waits until it installed VERSION.
attempt_install() {
    local version=$1 run=$2
    launcher_start "$player" "$store_url" "$public_key" "$logs/launcher-run$run.log" || return 1
    window_ms=$(milliseconds_since "$launcher_started")
    echo "window on screen after $window_ms ms"
    launcher_shot "$run-started" "Run $run, the window as it appears: the update starts." || return 1
    if [ "$run" = 1 ]; then
        # Size, speed and time left appear once a few seconds of the download are known.
        sleep 8
        if launcher_running; then
            local taken
            taken=$(store_bytes_taken_now)
            launcher_shot 1-downloading "Run 1, eight seconds later: version 1 on its way, held to the player's \
limit of $download_limit_kbps KB/s (\`DownloadLimitKBps\` in launcher.ini); the launcher had read $taken bytes \
($((taken / 1000000)) MB) of the store's answers when the shot was taken." || return 1
        fi
    fi
    launcher_wait_version "$player" "$version" 180 || return 1
    installed_ms=$(milliseconds_since "$launcher_started")
}

# install_with_launcher VERSION RUN: the launcher's run up to the installed version.
install_with_launcher() {
    store_server_traffic
    attempt_install "$1" "$2" || return 1
    echo "version $1 installed after $installed_ms ms"
    store_server_traffic
    echo "the store served $traffic_requests requests, $traffic_bytes bytes"
    # The result reaches the window, then the server list is read and probed.
    sleep 2
}

first_run() {
    step "run 1: the launcher installs version 1, then shows its servers and settings"
    install_with_launcher 1 1
    launcher_shot 1-up-to-date "Run 1, done: client up to date, PLAY enabled; the store's news and headline."
    launcher_click $at_server_selector
    sleep 2
    launcher_shot 1-servers "Run 1, the server panel with the latencies that the launcher measured."
    launcher_click $(at_server_row 0)
    launcher_click $at_region_next
    launcher_scroll_down 2
    sleep 1
    launcher_shot 1-servers-region "Run 1, the first server pinned to its next region; scrolled to the last row."
    launcher_click $at_server_panel_close
    launcher_click $at_settings_gear
    sleep 1
    launcher_shot 1-settings "Run 1, the settings panel."
    launcher_click $at_settings_cancel
    launcher_click $at_close
    launcher_wait_exit 20
    outcome="Closed with its close button after the tour of the panels; exit code $launcher_exit."
    echo "$outcome"
    check_player 1 after-run1
    report_run "Run 1: first install of version 1" "$out/kyr-patch-after-run1.json"
}

second_run() {
    step "run 2: the launcher downloads only what changed, then PLAY starts the game"
    install_with_launcher 2 2
    launcher_shot 2-up-to-date "Run 2, done: client up to date with version 2."
    launcher_click $at_play
    launcher_wait_exit 20
    outcome="PLAY started the stand-in Main.exe and the launcher closed; exit code $launcher_exit."
    echo "$outcome"
    cat "$player/launch-record.txt"
    check_player 2 after-run2
    report_run "Run 2: incremental update to version 2, then PLAY" "$out/kyr-patch-after-run2.json"
    report "How the launcher started the game (\`launch-record.txt\`, written by the stand-in Main.exe):"
    report_code text "$player/launch-record.txt"
}

finish_report() {
    services_stop
    report "" "## Probes" "" "Connections that each game server accepted, all of them the launcher's latency probes" \
        "(Old Realm's port refuses every connection, so the launcher shows it unmeasured):"
    report_code json "$out/game-servers.json"
    report_screenshots
    report "" "The whole demo took $(($(milliseconds_since "$demo_started") / 1000)) s."
}

print_summary() {
    echo
    echo "Done in $(($(milliseconds_since "$demo_started") / 1000)) s. Everything is in $out:"
    echo "  report.md              what ran and what happened (start here)"
    echo "  screenshots/           the launcher's window during both runs"
    echo "  game-v1/, game-v2/     the two published game folders"
    echo "  store/                 the signed patch store; store.key and store.pub are its key pair"
    echo "  player/                the player's folder as the launcher left it (launch-record.txt: the game's start)"
    echo "  logs/                  publish, launcher and kyr-patch output"
    echo
    echo "Play with it by hand (scripts/demo/play.sh serves the store and the game servers again, runs the"
    echo "launcher on your display or a private Xvfb, and stops everything when the window closes):"
    echo "  scripts/demo/play.sh"
    echo "Publish another version first, for example after editing a file of $out/game-v2:"
    echo "  $store_tool publish --key $out/store.key --in $out/game-v2 --out $out/store --version 3"
}

build
mkdir -p "$out"
find "$out" -mindepth 1 -maxdepth 1 ! -name wineprefix -exec rm -rf {} +
mkdir -p "$shots" "$logs"
display_start
echo "the launcher's window opens on $display_kind"
report "# KYR Launcher demo, $(date -u +%Y-%m-%dT%H:%M:%SZ)" "" \
    "The launcher is \`build/win64/launcher/KyrLauncher.exe\` (commit $(git rev-parse --short HEAD 2>/dev/null ||
        echo unknown)), run under $(wine --version 2>/dev/null) on $display_kind, in \`out/demo/player\`." \
    "Its first run installs version 1 of a synthetic game from a signed store on this machine; the second" \
    "takes version 2 incrementally and starts the stand-in game."
start_game_servers
make_game

step "the operator makes a signing key and publishes version 1"
public_key=$("$store_tool" keygen --out "$out/store.key")
echo "$public_key" >"$out/store.pub"
publish 1
publish_news
store_server_start "$out/store" "$out/nginx" "$store_rate"
echo "the store is served at $store_url (${store_rate%m} MB/s per connection)"
report "" "The store (\`out/demo/store\`, public key \`$public_key\`) is served by nginx at $store_url," \
    "${store_rate%m} MB/s per connection, with the caching headers of docs/operators.md."
prepare_player

first_run
step "the operator publishes version 2 (a few changed files)"
publish 2
second_run
finish_report
print_summary
