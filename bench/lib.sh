# Shell helpers shared by the HTTP benchmarks (sourced, not run).

# A free loopback port, chosen by the system.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# Waits (at most 5 s) until something answers on the port.
wait_for_port() {
    i=0
    while [ $i -lt 50 ]; do
        if python3 -c "import socket,sys; s=socket.socket(); s.settimeout(0.2); sys.exit(s.connect_ex(('127.0.0.1',$1)))" 2>/dev/null; then
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    echo "$0: nothing listens on port $1" >&2
    exit 1
}
