# The Markdown report of a demo run, written as the run goes. Sourced by session.sh; scripts/demo.sh sets
# report_file.

report() {
    printf '%s\n' "$@" >>"$report_file"
}

# report_code LANGUAGE FILE: the file as a fenced block, after a blank line.
report_code() {
    report "" "\`\`\`$1" "$(cat "$2")" '```'
}

# server_summary INSPECTED_JSON: one line per server of a directory as kyr-inspect printed it.
server_summary() {
    python3 -c 'import json, sys
for s in json.load(open(sys.argv[1]))["servers"]:
    endpoints = ", ".join("%s %s:%d" % (e["label"], e["ip"], e["port"]) for e in s["endpoints"])
    print("- %s (%s, %s, access %s): %s" % (s["name"], s["kind"], s["state"], s["access"], endpoints))' "$1"
}

# report_run TITLE: what the launcher fetched, how long it took, and kyr-patch's check of the folder.
report_run() {
    local title=$1 check=$2
    report "" "## $title" "" \
        "- Window on screen after $window_ms ms; the patch state named the new version after $installed_ms ms." \
        "- The store served $traffic_requests requests, $traffic_bytes bytes to the launcher." \
        "- $outcome" \
        "- The player's folder equals the published game folder byte for byte (\`diff -r\`)." \
        "- \`kyr-patch update\` on the same folder afterwards finds every file current:"
    report_code json "$check"
    report ""
}

report_screenshots() {
    local entry
    report "" "## Screenshots (screenshots/)" ""
    for entry in "${shot_list[@]}"; do
        report "- \`${entry%%|*}\`: ${entry#*|}"
    done
}

# Left in the report when the demo stops early, so that a partial report is never taken for a whole one.
report_failure() {
    report "" "**The demo stopped early (exit code $1): the console output tells where.**"
}
