# The display that the launcher's window opens on: the user's own when $DISPLAY is set and answers,
# otherwise a private Xvfb. Sourced after services.sh.
# display_start   exports DISPLAY, sets display_kind (and display_pid for a private Xvfb)

display_pid=
display_kind=

display_start() {
    if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
        display_kind="your display $DISPLAY"
        return 0
    fi
    local number_file _
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
    display_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$number_file" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(head -n 1 "$number_file")"
    rm -f "$number_file"
    xdotool getdisplaygeometry >/dev/null || { echo "Xvfb did not start" >&2; return 1; }
    display_kind="a private Xvfb ($DISPLAY)"
}

display_stop() {
    stop_process "$display_pid"
    display_pid=
}
