#!/bin/sh
# Requests per second of a server page under `tervalo serve` next to the same
# page as PHP under `php -S`, on 127.0.0.1, measured with wrk in one run. The
# page loops 100 times building table rows and echoes one query parameter.
#
#   bench/pages.sh                          uses build/release/app/tervalo
#   TERVALO=path/to/tervalo bench/pages.sh  any other build
#
# Settings: DURATION (10s), CONNECTIONS (32), THREADS (wrk threads, 2),
# PEERS (folder of the peer pages, ../shared/bench-peers).
set -eu

cd "$(dirname "$0")/.."
TERVALO=${TERVALO:-build/release/app/tervalo}
PEERS=${PEERS:-../shared/bench-peers}
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-32}
THREADS=${THREADS:-2}
PHP=${PHP:-php}

for tool in wrk curl "$PHP" "$TERVALO"; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
        echo "bench/pages.sh: $tool not found (build with: make build PRESET=release)" >&2
        exit 1
    fi
done
for page in "$PEERS/http/page.dsp" "$PEERS/http/page.php"; do
    if [ ! -f "$page" ]; then
        echo "bench/pages.sh: $page not found (set PEERS)" >&2
        exit 1
    fi
done

work=$(mktemp -d /tmp/tervalo-bench-pages-XXXXXX)
tervalo_pid=""
php_pid=""
cleanup() {
    for pid in $tervalo_pid $php_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/site" "$work/php" "$work/logs"
cp "$PEERS/http/page.dsp" "$work/site/page.dsp"
cp "$PEERS/http/page.php" "$work/php/page.php"

. bench/lib.sh

tervalo_port=$(free_port)
"$TERVALO" serve --port "$tervalo_port" --root "$work/site/" --logs "$work/logs/" >"$work/tervalo.out" 2>&1 &
tervalo_pid=$!

php_port=$(free_port)
"$PHP" -S "127.0.0.1:$php_port" -t "$work/php" >"$work/php.out" 2>&1 &
php_pid=$!

wait_for_port "$tervalo_port"
wait_for_port "$php_port"

# Both pages must give the full answer before their speed means anything.
check() {
    body=$(curl -s --max-time 10 "http://127.0.0.1:$1/$2?name=bench")
    rows=$(printf '%s\n' "$body" | grep -c '<tr><td>' || true)
    if [ "$rows" -ne 100 ] || ! printf '%s' "$body" | grep -q 'Hello, bench!'; then
        echo "bench/pages.sh: $3 answered a wrong page:" >&2
        printf '%s\n' "$body" | head -20 >&2
        exit 1
    fi
}
check "$tervalo_port" page.dsp tervalo
check "$php_port" page.php php

# Prints the requests per second wrk measured; complains on stderr about
# errors and answers other than 2xx, which would make the figure meaningless.
measure() {
    out=$(wrk -t "$THREADS" -c "$CONNECTIONS" -d "$DURATION" -H 'Connection: close' \
        "http://127.0.0.1:$1/$2?name=bench")
    errors=$(printf '%s\n' "$out" | grep -E 'Socket errors|Non-2xx' || true)
    [ -n "$errors" ] && printf '  (%s) %s\n' "$3" "$errors" >&2
    printf '%s\n' "$out" | awk '/Requests\/sec/ { print $2 }'
}

printf 'wrk: %s threads, %s connections, %s per run, Connection: close\n' \
    "$THREADS" "$CONNECTIONS" "$DURATION"
t=$(measure "$tervalo_port" page.dsp tervalo)
p=$(measure "$php_port" page.php php)
ratio=$(awk -v t="$t" -v p="$p" 'BEGIN { if (p > 0) printf "%.2f", t / p; else print "-" }')
printf '%-6s %14s %14s %8s\n' page tervalo "php -S" ratio
printf '%-6s %14s %14s %8s\n' rows "$t" "$p" "$ratio"
