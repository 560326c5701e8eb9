#!/bin/bash
# Four simulated modems for a first look at the gateway:
#   demo.sh <installation folder>         start them as MainApp/ports/com1..com4
#   demo.sh <installation folder> stop    end them
# Writes MainApp/Config.ini for them only when there is no configuration yet, and registers the
# modem control with regsvr32 (again, which does no harm).
set -euo pipefail
root=$(cd "${1:?usage: demo.sh <installation folder> [stop]}" && pwd)
ports="$root/MainApp/ports"
pidfile="$ports/modemsim.pid"

if [ "${2:-}" = stop ]; then
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
    exit 0
fi

if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
    echo "simulator already running (pid $(cat "$pidfile"))"
else
    mkdir -p "$ports"
    # A session of its own, so Ctrl-C on the gateway's terminal leaves the modems running.
    setsid "$root/tools/velmora-modemsim" --ports "$ports" --count 4 \
        >"$ports/modemsim.log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    for _ in $(seq 50); do
        grep -q '^ready' "$ports/modemsim.log" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '^ready' "$ports/modemsim.log" || { cat "$ports/modemsim.log"; exit 1; }
    echo "4 simulated modems on $ports/com1..com4 (control socket $ports/modemsim.sock)"
fi

config="$root/MainApp/Config.ini"
if [ ! -e "$config" ]; then
    printf '[SMSCom]\nPort=1,2,3,4\nRate=115200,115200,115200,115200\n' >"$config"
    echo "wrote $config"
fi

component="$root/MainApp/lib/libsmscontrol.so"
if ! "$root/regsvr32" "$component" -s 2>/dev/null; then
    echo "could not register $component" >&2
    exit 1
fi
