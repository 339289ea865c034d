#!/usr/bin/env bash
# The demo: lorvex-server with a fresh demo database on 127.0.0.1:1972 and :1973 (telemetry
# changing every few seconds), then the monitor signed in as DEMO. Without a display, both
# monitors are printed and the main window is shown on a virtual display and saved as a picture.
# The server is stopped when the script ends.
#
#   bash scripts/demo.sh     (JOBS=2 for fewer build jobs, BUILD_DIR=... for another build tree)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

build="${BUILD_DIR:-$root/build/release}"
echo "== build ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target lorvex-server lorvex-monitor lorvex-screengrab

server="$build/server/lorvex-server"
monitor="$build/src/shell/lorvex-monitor"
grab="$build/src/shell/lorvex-screengrab"
signin=(1 0 DEMO demo localhost 1972)

work=$(mktemp -d)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "== lorvex-server (demo database $work/demo.db)"
"$server" --db "$work/demo.db" --demo --simulate \
    --listen 127.0.0.1:1972 --listen 127.0.0.1:1973 >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do
    [ "$(grep -c "listening on" "$work/server.log" 2>/dev/null)" -ge 2 ] && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        cat "$work/server.log" >&2
        echo "lorvex-server did not start (ports 1972/1973 in use?)" >&2
        exit 1
    fi
    sleep 0.1
done
cat "$work/server.log"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "== lorvex-monitor ${signin[*]}"
    "$monitor" "${signin[@]}"
    exit 0
fi

echo "== no display: the monitors printed once"
echo "-- Kassa (Kasse;offen;erster Zähler;letzter Zähler)"
"$monitor" --print kassa "${signin[@]}"
echo "-- Zeiterfassung (Uhr;Ist;Soll;Differenz;...)"
"$monitor" --print zeit "${signin[@]}"

shot="$root/build/demo-fmstart.png"
echo "== the main window on a virtual display (xvfb-run)"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" "${@:4}" & monitor_pid=$!
    "$2" "$3" 4000; status=$?
    if kill -0 $monitor_pid 2>/dev/null; then
        kill $monitor_pid; wait $monitor_pid 2>/dev/null
        exit $status
    fi
    echo "lorvex-monitor ended before the picture was taken" >&2
    exit 1
' demo "$monitor" "$grab" "$shot" "${signin[@]}"
echo "Bild des Hauptfensters: $shot"
