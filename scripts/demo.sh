#!/usr/bin/env bash
# The demo: lorvex-server with a fresh demo database on 127.0.0.1:1972 and :1973 (telemetry
# changing every few seconds), then the monitor signed in as DEMO. Without a display, both
# monitors are printed (as CSV, with the windows' column headers), and the program with both
# monitor windows open is shown on a virtual display and saved as a picture (the one in the
# README, docs/demo-monitors.png).
# The server is stopped when the script ends.
#
#   bash scripts/demo.sh     (JOBS=2 for fewer build jobs, BUILD_DIR=... for another build tree)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

build="${BUILD_DIR:-$root/build/release}"
echo "== build ($build)"
# The same configuration as scripts/test.sh: the tests reuse what the demo has built.
bash scripts/configure-release.sh "$build"
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

echo "== no display: the monitors printed once, as the windows show and export them"
for which in kassa zeit; do
    echo "-- $which"
    # CSV: the windows' column headers, then the rows (without the export's byte-order mark).
    "$monitor" --print "$which" --format csv "${signin[@]}" | sed '1s/^\xEF\xBB\xBF//'
done

shot="$root/build/demo-monitors.png"
echo "== the program with both monitors on a virtual display (xvfb-run, xdotool)"
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
    set -u
    monitor=$1 grab=$2 shot=$3
    shift 3
    "$monitor" "$@" & monitor_pid=$!
    status=1
    if main=$(timeout 30 xdotool search --sync --onlyvisible --name "^LORVEX Monitor " | head -n 1) &&
        [ -n "$main" ]; then
        # The two program buttons of the main window, Zeiterfassung and Kassa (8,16 and 8,48 px below
        # the menu bar, 113 x 25 px). Each monitor opens over the main window and is moved to the
        # right of it, Kassa above Zeiterfassung.
        xdotool windowmove "$main" 0 0
        eval "$(xdotool getwindowgeometry --shell "$main")"
        main_width=$WIDTH main_height=$HEIGHT
        xdotool mousemove --window "$main" 60 82 click 1
        kassa=$(timeout 20 xdotool search --sync --onlyvisible --name "^Kassa" | head -n 1)
        [ -n "$kassa" ] && xdotool windowmove "$kassa" $((main_width + 4)) 0
        eval "$(xdotool getwindowgeometry --shell "${kassa:-$main}")"
        xdotool mousemove --window "$main" 60 50 click 1
        zeit=$(timeout 20 xdotool search --sync --onlyvisible --name "^Zeiterfassung" | head -n 1)
        [ -n "$zeit" ] && xdotool windowmove "$zeit" $((main_width + 4)) $((HEIGHT + 4))
        if [ -n "$kassa" ] && [ -n "$zeit" ]; then
            # The picture: the rectangle around the three windows.
            right=$main_width bottom=$main_height
            for window in "$kassa" "$zeit"; do
                eval "$(xdotool getwindowgeometry --shell "$window")"
                right=$((right > X + WIDTH ? right : X + WIDTH))
                bottom=$((bottom > Y + HEIGHT ? bottom : Y + HEIGHT))
            done
            # A few refreshes, so the lists are filled, then the picture.
            "$grab" "$shot" 4000 0 0 "$right" "$bottom" && status=0
        else
            echo "the monitor windows did not open" >&2
        fi
    else
        echo "the main window did not appear" >&2
    fi
    if kill -0 $monitor_pid 2>/dev/null; then
        kill $monitor_pid
        wait $monitor_pid 2>/dev/null
    else
        echo "lorvex-monitor ended before the picture was taken" >&2
        status=1
    fi
    exit $status
' demo "$monitor" "$grab" "$shot" "${signin[@]}"
echo "Bild der Monitore: $shot"
