# The demo's services on loopback, each started in the background and stopped by its own pid. Sourced.
# store_server_start STORE_DIR WORK_DIR RATE [PORT]   nginx serves the store; sets store_url
# store_server_traffic                 sets traffic_requests and traffic_bytes: served since the last call
# game_servers_start DIRECTORY RECORD  TCP listeners as game servers, listed in the DIRECTORY file written

store_server_pid=
store_url=
store_server_log=
store_server_seen=0
traffic_requests=0
traffic_bytes=0
game_servers_pid=

free_loopback_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

wait_for_port() {
    local _
    for _ in $(seq 1 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# The caching rules are those of docs/operators.md; the rate limit per connection lets a person (and the
# screenshots) see the launcher's progress on a store that is on the same machine.
store_server_start() {
    local store=$1 work=$2 rate=$3 port=${4:-}
    [ -n "$port" ] || port=$(free_loopback_port)
    mkdir -p "$work/logs" "$work/tmp"
    store_server_log=$work/logs/access.log
    store_server_seen=0
    cat >"$work/nginx.conf" <<CONF
worker_processes 1;
error_log $work/logs/error.log;
pid $work/nginx.pid;
events { worker_connections 64; }
http {
    log_format store '\$status \$body_bytes_sent \$request_uri \$remote_port';
    access_log $store_server_log store;
    client_body_temp_path $work/tmp;
    proxy_temp_path $work/tmp;
    fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp;
    scgi_temp_path $work/tmp;
    types { application/json json; text/plain sig; }
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$port;
        root $store;
        limit_rate $rate;
        location /v1/chunks/ { add_header Cache-Control "public, max-age=31536000, immutable"; }
        location ~ "^/v1/packs/[0-9a-f]{64}\.pack\$" { add_header Cache-Control "public, max-age=31536000, immutable"; }
        location /v1/ { add_header Cache-Control "no-cache"; }
        location / { return 404; }
    }
}
CONF
    nginx -p "$work" -c "$work/nginx.conf" -g 'daemon off;' &
    store_server_pid=$!
    store_url=http://127.0.0.1:$port/
    wait_for_port "$port" || { echo "nginx did not start: see $work/logs/error.log" >&2; return 1; }
}

store_server_traffic() {
    local total
    total=$(wc -l <"$store_server_log")
    read -r traffic_requests traffic_bytes < <(awk -v after="$store_server_seen" -v last="$total" \
        'NR > after && NR <= last { requests++; bytes += $2 } END { printf "%d %d\n", requests, bytes }' \
        "$store_server_log")
    store_server_seen=$total
}

game_servers_start() {
    local directory=$1 _
    rm -f "$directory"
    python3 "$root/scripts/demo/game_servers.py" --directory "$directory" --record "$2" --lifetime 3600 &
    game_servers_pid=$!
    for _ in $(seq 1 50); do
        [ -f "$directory" ] && return 0
        sleep 0.1
    done
    echo "the game servers did not start" >&2
    return 1
}

stop_process() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

services_stop() {
    stop_process "$store_server_pid"
    store_server_pid=
    stop_process "$game_servers_pid"
    game_servers_pid=
}
