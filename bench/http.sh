#!/bin/sh
# Requests per second of `tervalo serve` and of nginx serving the same files
# on 127.0.0.1, one request per connection, measured with wrk in one run:
# a 1 KB file and a 1 MB file, DURATION each.
#
#   bench/http.sh                          uses build/release/app/tervalo
#   TERVALO=path/to/tervalo bench/http.sh  any other build
#
# Settings: DURATION (10s), CONNECTIONS (32), THREADS (wrk threads, 2).
set -eu

cd "$(dirname "$0")/.."
TERVALO=${TERVALO:-build/release/app/tervalo}
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-32}
THREADS=${THREADS:-2}
NGINX=${NGINX:-$(command -v nginx || echo /usr/sbin/nginx)}

for tool in wrk "$NGINX" "$TERVALO"; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
        echo "bench/http.sh: $tool not found (build with: make build PRESET=release)" >&2
        exit 1
    fi
done

work=$(mktemp -d /tmp/tervalo-bench-XXXXXX)
# nginx workers may run as another user: they must be able to read the files.
chmod 755 "$work"
tervalo_pid=""
nginx_pid=""
cleanup() {
    for pid in $tervalo_pid $nginx_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/site" "$work/logs" "$work/nginx/logs"
head -c 1024 /dev/urandom >"$work/site/1k.bin"
head -c 1048576 /dev/urandom >"$work/site/1m.bin"
chmod -R a+rX "$work/site"

. bench/lib.sh

tervalo_port=$(free_port)
"$TERVALO" serve --port "$tervalo_port" --root "$work/site/" --logs "$work/logs/" >"$work/tervalo.out" 2>&1 &
tervalo_pid=$!

nginx_port=$(free_port)
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    sendfile on;
    keepalive_timeout 0;
    default_type application/octet-stream;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/site;
    }
}
EOF
"$NGINX" -p "$work/nginx/" -c "$work/nginx/nginx.conf" -g 'daemon off;' 2>"$work/nginx/stderr" &
nginx_pid=$!

wait_for_port "$tervalo_port"
wait_for_port "$nginx_port"

# Prints the requests per second wrk measured; complains on stderr about
# errors and answers other than 2xx, which would make the figure meaningless.
measure() {
    out=$(wrk -t "$THREADS" -c "$CONNECTIONS" -d "$DURATION" -H 'Connection: close' "http://127.0.0.1:$1/$2")
    errors=$(printf '%s\n' "$out" | grep -E 'Socket errors|Non-2xx' || true)
    [ -n "$errors" ] && printf '  (%s %s) %s\n' "$3" "$2" "$errors" >&2
    printf '%s\n' "$out" | awk '/Requests\/sec/ { print $2 }'
}

printf 'wrk: %s threads, %s connections, %s per run, Connection: close\n' \
    "$THREADS" "$CONNECTIONS" "$DURATION"
printf '%-6s %14s %14s %8s\n' file tervalo nginx ratio
for file in 1k.bin 1m.bin; do
    t=$(measure "$tervalo_port" "$file" tervalo)
    n=$(measure "$nginx_port" "$file" nginx)
    ratio=$(awk -v t="$t" -v n="$n" 'BEGIN { if (n > 0) printf "%.2f", t / n; else print "-" }')
    printf '%-6s %14s %14s %8s\n' "${file%.bin}" "$t" "$n" "$ratio"
done
