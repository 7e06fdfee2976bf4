# Shared by the benchmark scripts (sourced): nginx serving a folder on 127.0.0.1.

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# start_nginx WORK: serves WORK/www on a free port of 127.0.0.1, its files in WORK/nginx; sets http_port
# and adds the server's process to the caller's pids.
start_nginx() {
    local work=$1
    http_port=$(free_port)
    mkdir -p "$work/nginx/logs" "$work/nginx/tmp"
    cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 2;
error_log $work/nginx/logs/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx/tmp;
    proxy_temp_path $work/nginx/tmp;
    fastcgi_temp_path $work/nginx/tmp;
    uwsgi_temp_path $work/nginx/tmp;
    scgi_temp_path $work/nginx/tmp;
    types { application/octet-stream bin; }
    server { listen 127.0.0.1:$http_port; root $work/www; }
}
CONF
    nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
    pids+=($!)
}
