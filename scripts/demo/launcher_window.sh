# Runs KyrLauncher.exe under Wine on $DISPLAY and handles its window as a player would: xdotool clicks at
# the centres of the rectangles in launcher/ui/layout.hpp, ImageMagick screenshots of the window.
# Sourced by session.sh; uses root, wine_prefix and shots (the screenshot folder).

# Window coordinates (launcher/ui/layout.hpp).
readonly at_server_selector="529 21"    # kServerSelectorRect
readonly at_region_next="250 335"       # kRegionRightRect
readonly at_server_panel_close="830 34" # kServerPanelCloseRect
readonly at_settings_gear="691 350"     # kSettingsGearRect
readonly at_settings_cancel="542 300"   # kCancelRect
readonly at_close="853 21"              # kCloseRect
readonly at_play="792 350"              # kPlayRect

launcher_pid=
launcher_log=
launcher_window=
launcher_started=
shot_list=()

# The centre of server row k (kRowViewportRect, kRowPitch, kRowHeight, left of the scroll bar).
at_server_row() {
    echo "431 $((94 + 66 * $1 + 31))"
}

milliseconds_since() {
    echo $(((${EPOCHREALTIME/./} - ${1/./}) / 1000))
}

# launcher_start FOLDER STORE_URL PUBKEY LOG: starts the launcher and waits for its window.
launcher_start() {
    local folder=$1
    launcher_log=$4
    # The pointer stays where the last click left it: away from where the new window will be drawn.
    xdotool mousemove 0 0
    launcher_started=$EPOCHREALTIME
    (cd "$folder" && KYR_STORE_URL=$2 KYR_STORE_PUBKEY=$3 \
        exec "$root/scripts/wine-run" "$wine_prefix" "$folder/KyrLauncher.exe") >"$4" 2>&1 &
    launcher_pid=$!
    launcher_window=
    local deadline=$((SECONDS + 90))
    while [ -z "$launcher_window" ] && launcher_running && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.2
        launcher_window=$(xdotool search --onlyvisible --name '^KYR Launcher$' 2>/dev/null | head -n 1) || true
    done
    if [ -z "$launcher_window" ]; then
        launcher_failed "the launcher's window did not appear"
        return 1
    fi
}

launcher_running() {
    kill -0 "$launcher_pid" 2>/dev/null
}

launcher_click() {
    xdotool mousemove --window "$launcher_window" "$1" "$2" sleep 0.2 click 1 sleep 0.3
}

# launcher_scroll_down NOTCHES: the mouse wheel over the server rows.
launcher_scroll_down() {
    xdotool mousemove --window "$launcher_window" $(at_server_row 1) sleep 0.2 click --repeat "$1" 5 sleep 0.3
}

# launcher_shot NAME CAPTION: saves the window as $shots/NAME.png. ImageMagick waits for ever on a window
# that went away, hence the time limit.
launcher_shot() {
    if ! timeout 10 import -window "$launcher_window" "$shots/$1.png"; then
        launcher_failed "the window could not be captured for $1.png"
        return 1
    fi
    local entry
    for entry in "${shot_list[@]}"; do
        [ "${entry%%|*}" != "$1.png" ] || return 0
    done
    shot_list+=("$1.png|$2")
}

launcher_failed() {
    echo "$1; the launcher's output ($launcher_log):" >&2
    tail -n 20 "$launcher_log" >&2
}

# launcher_wait_version FOLDER VERSION SECONDS: until the launcher's patch state names VERSION.
launcher_wait_version() {
    local state=$1/patchstate.json deadline=$((SECONDS + $3))
    until [ -f "$state" ] && grep -q "\"version\":\"$2\"" "$state"; do
        if ! launcher_running; then
            launcher_failed "the launcher ended before it installed version $2"
            return 1
        fi
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "the launcher did not install version $2 within $3 s" >&2
            return 1
        fi
        sleep 0.1
    done
}

# launcher_wait_exit SECONDS: until the launcher program has ended; its exit code is launcher_exit.
launcher_wait_exit() {
    local deadline=$((SECONDS + $1))
    while launcher_running; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "the launcher did not end within $1 s" >&2
            return 1
        fi
        sleep 0.1
    done
    launcher_exit=0
    wait "$launcher_pid" || launcher_exit=$?
    launcher_pid=
}

launcher_stop_all() {
    WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
    if [ -n "$launcher_pid" ]; then
        wait "$launcher_pid" 2>/dev/null || true
        launcher_pid=
    fi
}
