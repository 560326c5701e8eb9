#!/bin/bash
# The MariaDB server the tests use: its own data folder, socket and port (3307, loopback only),
# apart from any MariaDB the machine runs. Run as root; the server itself runs as mysql.
#   mariadb-instance.sh start|stop|port|client [mariadb client arguments]
set -euo pipefail

base=/var/lib/velmora-test-mariadb
run=/run/velmora-test-mariadb
port=3307
server_options=(--no-defaults --user=mysql --datadir="$base" --socket="$run/mysqld.sock"
    --pid-file="$run/mysqld.pid" --port="$port" --bind-address=127.0.0.1
    --lower-case-table-names=1 --character-set-server=utf8mb4
    --collation-server=utf8mb4_general_ci --skip-log-bin)

client() { mariadb --no-defaults --socket="$run/mysqld.sock" -uroot "$@"; }
alive() { client -e 'select 1' >/dev/null 2>&1; }

case "${1:-}" in
start)
    mkdir -p "$base" "$run"
    chown mysql:mysql "$base" "$run"
    if [ ! -d "$base/mysql" ]; then
        mariadb-install-db "${server_options[@]}" --skip-test-db \
            --auth-root-authentication-method=socket >"$run/install.log" 2>&1 \
            || { cat "$run/install.log" >&2; exit 1; }
    fi
    if ! alive; then
        setsid mariadbd "${server_options[@]}" >"$run/server.log" 2>&1 </dev/null &
        for _ in $(seq 1 120); do
            alive && exit 0
            sleep 0.5
        done
        cat "$run/server.log" >&2
        exit 1
    fi
    ;;
stop)
    if [ -f "$run/mysqld.pid" ]; then
        pid=$(cat "$run/mysqld.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 120); do
            kill -0 "$pid" 2>/dev/null || exit 0
            sleep 0.5
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    ;;
port)
    echo "$port"
    ;;
client)
    shift
    client "$@"
    ;;
*)
    echo "usage: $0 start|stop|port|client [arguments]" >&2
    exit 2
    ;;
esac
