#!/usr/bin/env bash
# Installs what is missing, builds into build/, and starts the gateway through its launcher.
# Without a configuration yet, four simulated modems are started as MainApp/ports/com1..com4
# and a configuration for them is written, so the devices come up when you press 启动.
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY) it starts the service velmora-gatewayd
# on the same modems instead, with its status page on, makes an operator token named "demo" (a
# new one at each run) and prints the page's address and the console's with the token once the
# service listens there. Only the programs are built, not the tests and benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmora_programs
root=$(cd "$build/install-root" && pwd)

if [ ! -e "$root/MainApp/Config.ini" ] || [ -e "$root/MainApp/ports/modemsim.pid" ]; then
    tools/modemsim/demo.sh "$root"
    echo "The simulated modems outlive the gateway; to end them: tools/modemsim/demo.sh \"$root\" stop"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    config="$root/MainApp/Config.ini"
    if ! grep -qi '^[[:space:]]*HttpPort[[:space:]]*=' "$config"; then
        printf '\n[Service]\nHttpPort=8080\n' >>"$config"
    fi
    port=$(sed -n 's/^[[:space:]]*[Hh][Tt][Tt][Pp][Pp][Oo][Rr][Tt][[:space:]]*=[[:space:]]*\([0-9]*\).*/\1/p' "$config" | tail -1)
    address=$(sed -n 's/^[[:space:]]*[Hh][Tt][Tt][Pp][Aa][Dd][Dd][Rr][Ee][Ss][Ss][[:space:]]*=[[:space:]]*\([^[:space:]]*\).*/\1/p' "$config" | tail -1)
    echo "No display: starting the service velmora-gatewayd (Ctrl-C stops it)."
    # The service loads the modem component by its registration, which must name this build.
    "$root/regsvr32" "$root/MainApp/lib/libsmscontrol.so" -s
    # The console shows nothing without a token; the demo's goes in the address's fragment,
    # which the browser keeps to itself.
    "$root/MainApp/velmora-gatewayd" --revoke-token demo >/dev/null 2>&1 || true
    token=$("$root/MainApp/velmora-gatewayd" --add-token demo --role operator 2>/dev/null)
    # The address comes from the service's own line once it listens: a port another program
    # holds must not be announced as the page.
    errors=$(mktemp)
    "$root/MainApp/velmora-gatewayd" 2> >(tee "$errors" >&2) &
    service=$!
    trap 'kill -TERM "$service" 2>/dev/null || true' INT TERM
    for _ in $(seq 300); do
        if page=$(sed -n 's/.*status page on \(http[^ ]*\).*/\1/p' "$errors" | head -1) &&
            [ -n "$page" ]; then
            echo "Status page: $page  (metrics: /metrics, health: /healthz)"
            echo "Console: ${page}console#token=$token"
            break
        fi
        if grep -q 'status page: cannot listen' "$errors"; then
            echo "No status page: ${address:-127.0.0.1} port $port is taken by another program" \
                "(HttpPort= in $config)."
            break
        fi
        kill -0 "$service" 2>/dev/null || break
        sleep 0.1
    done
    status=0
    wait "$service" || status=$?
    # A Ctrl-C ends the wait at once; the service's own stop is waited for again.
    if kill -0 "$service" 2>/dev/null; then
        status=0
        wait "$service" || status=$?
    fi
    rm -f "$errors"
    exit "$status"
fi

if [ -x "$root/start" ]; then
    exec "$root/start"
fi
"$root/regsvr32" "$root/MainApp/lib/libsmscontrol.so" -s
"$root/regsvr32" "$root/MainApp/lib/libskin.so" -s
exec "$root/MainApp/Velmora"
