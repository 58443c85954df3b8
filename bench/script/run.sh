#!/bin/bash
# Times script programs through `tervalo run` next to the same programs in
# Lua 5.4 and PHP 8, in one run on one machine, and prints the ratios.
# Usage: bench/script/run.sh [NAME ...]   (default: loop)
# Needs a release build (make build PRESET=release) and lua5.4, php-cli.
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
PEERS="${PEERS:-$ROOT/../shared/bench-peers}"
TERVALO="${TERVALO:-$ROOT/build/release/app/tervalo}"
RUNS="${RUNS:-5}"
NAMES=("$@")
[ ${#NAMES[@]} -eq 0 ] && NAMES=(loop)

# Median wall time in milliseconds of RUNS runs (after one warm-up).
median_ms() {
    local times=() t0 t1
    "$@" >/dev/null 2>&1
    for ((r = 0; r < RUNS; r++)); do
        t0=$(date +%s%N)
        "$@" >/dev/null 2>&1
        t1=$(date +%s%N)
        times+=($(((t1 - t0) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((RUNS + 1) / 2))p"
}

check() { # name, expected file, command...
    local name=$1 expected=$2; shift 2
    local out
    out=$("$@" 2>&1 | tr -d '\r')
    if [ "$out" != "$(tr -d '\r' <"$expected")" ]; then
        echo "  $name: wrong output: $out" >&2
        return 1
    fi
}

printf '%-10s %10s %10s %10s %12s %12s\n' name tervalo lua5.4 php tervalo/lua tervalo/php
for name in "${NAMES[@]}"; do
    script="$PEERS/script/$name.pas"
    [ "$name" = loop ] && [ -f "$ROOT/bench/script/loop_main.pas" ] && script="$ROOT/bench/script/loop_main.pas"
    check "$name" "$PEERS/expected/$name.txt" "$TERVALO" run "$script" || continue
    t=$(median_ms "$TERVALO" run "$script")
    l=$(median_ms lua5.4 "$PEERS/lua/$name.lua")
    p=$(median_ms php "$PEERS/php/$name.php")
    printf '%-10s %8s ms %7s ms %7s ms %12s %12s\n' "$name" "$t" "$l" "$p" \
        "$(awk "BEGIN{printf \"%.2f\", $t/$l}")" "$(awk "BEGIN{printf \"%.2f\", $t/$p}")"
done
