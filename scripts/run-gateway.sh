#!/usr/bin/env bash
# Installs what is missing, builds into build/, and starts the gateway through its launcher.
# Without a configuration yet, four simulated modems are started as MainApp/ports/com1..com4
# and a configuration for them is written, so the devices come up when you press 启动.
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY) it starts the service velmora-gatewayd
# on the same modems instead, with its status page on, and prints the page's address.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
root=$(cd "$build/install-root" && pwd)

if [ ! -e "$root/MainApp/Config.ini" ] || [ -e "$root/MainApp/ports/modemsim.pid" ]; then
    tools/modemsim/demo.sh "$root"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    config="$root/MainApp/Config.ini"
    if ! grep -qi '^[[:space:]]*HttpPort[[:space:]]*=' "$config"; then
        printf '\n[Service]\nHttpPort=8080\n' >>"$config"
    fi
    port=$(sed -n 's/^[[:space:]]*[Hh][Tt][Tt][Pp][Pp][Oo][Rr][Tt][[:space:]]*=[[:space:]]*\([0-9]*\).*/\1/p' "$config" | tail -1)
    address=$(sed -n 's/^[[:space:]]*[Hh][Tt][Tt][Pp][Aa][Dd][Dd][Rr][Ee][Ss][Ss][[:space:]]*=[[:space:]]*\([^[:space:]]*\).*/\1/p' "$config" | tail -1)
    echo "No display: starting the service velmora-gatewayd (Ctrl-C stops it)."
    echo "Status page: http://${address:-127.0.0.1}:$port/  (metrics: /metrics, health: /healthz)"
    exec "$root/MainApp/velmora-gatewayd"
fi

if [ -x "$root/start" ]; then
    exec "$root/start"
fi
"$root/regsvr32" "$root/MainApp/lib/libsmscontrol.so" -s
"$root/regsvr32" "$root/MainApp/lib/libskin.so" -s
exec "$root/MainApp/Velmora"
