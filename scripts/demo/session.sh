# Sourced first by scripts/demo.sh and scripts/demo/play.sh, from the repository root: the demo's folders
# and helpers, and stop_everything, which their exit traps call so that no process outlives them.
root=$PWD
source scripts/demo/services.sh
source scripts/demo/display.sh
source scripts/demo/launcher_window.sh
source scripts/demo/report.sh

out=$root/out/demo
shots=$out/screenshots
logs=$out/logs
player=$out/player
# Kept between runs: creating a Wine prefix takes longer than the rest of a warm demo.
wine_prefix=$out/wineprefix
# Slow enough per connection that the progress bar can be watched, fast enough for a short demo.
store_rate=4m

stop_everything() {
    launcher_stop_all
    services_stop
    display_stop
}
trap 'exit 130' INT TERM
