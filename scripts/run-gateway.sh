#!/usr/bin/env bash
# Installs what is missing, builds into build/, and starts the gateway through its launcher.
# Without a configuration yet, four simulated modems are started as MainApp/ports/com1..com4
# and a configuration for them is written, so the devices come up when you press 启动.
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

if [ -x "$root/start" ]; then
    exec "$root/start"
fi
"$root/regsvr32" "$root/MainApp/lib/libsmscontrol.so" -s
"$root/regsvr32" "$root/MainApp/lib/libskin.so" -s
exec "$root/MainApp/Velmora"
