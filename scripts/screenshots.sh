#!/usr/bin/env bash
# Pictures of the real gateway on a virtual desktop with a tray: the main window, the window
# hidden by its close box and restored from the tray icon, and the search, add, test, about and
# help windows, then the service's status page in headless Chromium while it sends. For looking at
# the product as an operator sees it; nothing is compared.
#   scripts/screenshots.sh [output folder]     (default: screenshots/)
# Needs a build (scripts/run-gateway.sh or run-tests.sh) and: xvfb openbox trayer xdotool wmctrl
# imagemagick fonts-noto-cjk chromium sqlite3.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-screenshots}" && cd "${1:-screenshots}" && pwd)
root=$(cd "${VELMORA_BUILD_DIR:-build}/install-root" && pwd)

work=$(mktemp -d)
export VELMORA_SYSTEM_DIR="$work/system"
export DISPLAY=:$((90 + RANDOM % 9))
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    tools/modemsim/demo.sh "$root" stop || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$DISPLAY" -screen 0 1280x800x24 >/dev/null 2>&1 & pids+=($!)
sleep 1
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false >/dev/null 2>&1 & pids+=($!)
tools/modemsim/demo.sh "$root" >/dev/null
"$root/regsvr32" "$root/MainApp/lib/libskin.so" -s
"$root/MainApp/Velmora" >"$work/gateway.log" 2>&1 & pids+=($!)

title="Velmora 短信网关"
for _ in $(seq 50); do wmctrl -l | grep -q "$title" && break; sleep 0.2; done
shot() { sleep "${2:-1}"; import -window root "$out/$1.png"; echo "$out/$1.png"; }
main=$(wmctrl -l | awk -v t="$title" 'index($0, t) {print $1}' | head -1)
xdotool windowactivate --sync "$main" 2>/dev/null
xdotool mousemove --window "$main" 20 35 sleep 0.3 mousemove --window "$main" 30 35 click 1 # 启动
shot main-running 3

wmctrl -c "$title"
shot main-hidden
icon=$(xwininfo -root -tree | awk '/"Velmora 短信网关": \("Velmora"/ && /22x22/ {print $NF}' | head -1)
x=$(echo "$icon" | cut -d+ -f2); y=$(echo "$icon" | cut -d+ -f3)
xdotool mousemove $((x + 11)) $((y + 11)) click --repeat 2 --delay 80 1
shot main-restored

open_menu() { # menu key, item number (1-based among items)
    xdotool windowactivate --sync "$main" 2>/dev/null
    xdotool key "alt+$1"
    sleep 0.3
    for _ in $(seq 2 "$2"); do xdotool key Down; done
    xdotool key Return
}
close_top() { xdotool key Escape; sleep 0.5; }

xdotool windowactivate --sync "$main" mousemove --window "$main" 85 35 sleep 0.3 mousemove --window "$main" 90 35 click 1 # 停止, so the device windows open
open_menu t 1; shot test; close_top
open_menu h 1; shot help; close_top
open_menu h 2; shot about; close_top
open_menu g 1; shot search; close_top
open_menu g 2; shot add; close_top

# The status page of the service on the same modems, while it sends.
kill "${pids[-1]}" 2>/dev/null || true
service="$work/service"
mkdir -p "$service/DataBase"
cp "$root/MainApp/DataBase/SMS.db" "$service/DataBase/"
port=$((18000 + RANDOM % 1000))
printf '[DBCon]\nScanDT=500\n[SMSCom]\nPort=1,2,3,4\nRate=115200,115200,115200,115200\n[Service]\nHttpPort=%s\n' \
    "$port" >"$service/Config.ini"
for i in $(seq 400); do echo "insert into SMS (CellNumber, SMSContent) values ('1390000$i', '测试短信 $i');"; done |
    sqlite3 "$service/DataBase/SMS.db"
"$root/regsvr32" "$root/MainApp/lib/libsmscontrol.so" -s
"$root/tools/velmora-modemsim" --ports "$work/ports" --count 4 --control "$work/sim.sock" \
    >"$work/sim.log" 2>&1 & pids+=($!)
sleep 1
echo "delay all 1500" | python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall(sys.stdin.buffer.read()); s.recv(100)' "$work/sim.sock"
# The console shows nothing without a token, on loopback too; its address carries one.
token=$("$root/MainApp/velmora-gatewayd" --program-dir "$service" --add-token screenshots --role read)
VELMORA_PORTS_DIR="$work/ports" "$root/MainApp/velmora-gatewayd" --program-dir "$service" \
    >"$work/service.log" 2>&1 & pids+=($!)
sleep 4
chromium --headless --no-sandbox --disable-gpu --user-data-dir="$work/chromium" \
    --window-size=1100,900 --screenshot="$out/status-page.png" "http://127.0.0.1:$port/" \
    >/dev/null 2>&1
echo "$out/status-page.png"

# The console of the same service at a desktop's and a phone's width: first as it sends, then on
# a bad day: a modem the network refuses (+CMS ERROR 38), one without its network, one unplugged,
# and rows long in a modem's hands. The page fills itself from its live channel after loading,
# so each picture is taken a few seconds in.
sim() { echo "$1" | python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall(sys.stdin.buffer.read()); s.recv(100)' "$work/sim.sock"; }
console() { # picture name, width
    chromium --headless=new --no-sandbox --disable-gpu --user-data-dir="$work/chromium-$1" \
        --window-size="$2,2600" --timeout=8000 --screenshot="$out/$1.png" \
        "http://127.0.0.1:$port/console#token=$token" >/dev/null 2>&1
    echo "$out/$1.png"
}
console console 1280
console console-phone 390
for i in 1 2 3; do
    echo "insert into SMS (CellNumber, SMSContent, Status, HandleTime) values ('1380000000$i', '结果未知 $i', 1, datetime('now', 'localtime', '-2 hours'));"
done | sqlite3 "$service/DataBase/SMS.db"
sim "failnext 2 38 1000"
sim "network 3 0"
sim "vanish 4"
# The rows at 1 are read at the service's supervision tick, once a minute.
sleep 62
console console-bad 1280
console console-bad-phone 390
