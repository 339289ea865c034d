#!/usr/bin/env bash
# The packaging check, on a finished build tree:
#  1. makes the Debian packages with CPack, twice, and compares their bytes (reproducible), and
#     runs lintian on them (no errors allowed);
#  2. validates the desktop entry, the AppStream data, the manual pages and the service unit
#     (systemd-analyze verify);
#  3. unpacks both packages into a throw-away directory and starts the server from there with
#     its unit's command line and environment file on a free loopback port, signs in with the
#     unpacked monitor's print mode, and stops the server with SIGTERM as systemd does; then, in
#     a network namespace of its own, the same with the environment file's own addresses and a
#     monitor that has no stored settings, at the addresses a fresh monitor tries by itself;
#  4. where the machine allows it (root, mount namespaces, overlayfs), installs the packages
#     with dpkg into a throw-away overlay of /etc, /usr and /var, so the maintainer scripts run
#     for real: the system user and its 0700 directory, the server started as that user,
#     a reinstall, and a purge that removes both. The real system is not touched.
#
#   bash scripts/check-packages.sh [BUILD_DIR]      (default build/release)
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."

fail() {
    echo "check-packages: $*" >&2
    exit 1
}

server_pid=""
stop_server_on_exit() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
}

# serve_and_check ROOT DB LOG [RUN_AS...]: starts ROOT/usr/bin/lorvex-server with the ExecStart
# line of ROOT's unit and the settings of ROOT's environment file, as systemd expands them ($NAME
# becomes the value's words). Only the address (a free loopback port, unless DEFAULT_PORTS=1)
# and, for an unpacked root, the paths differ. RUN_AS (setpriv ...) runs it as the unit's user.
# Then reads the Kassa monitor through it with ROOT's lorvex-monitor and stops it with SIGTERM.
# With DEFAULT_PORTS=1 (in a network namespace of its own, where nothing else listens) the
# server keeps the default file's addresses, and monitors with no stored settings must find it
# where they look by themselves (sign_in_fresh).
serve_and_check() {
    local root=$1 db=$2 log=$3
    shift 3
    local unit="$root/lib/systemd/system/lorvex-server.service"
    local exec_start word name port="" status=0 rows listening=0 wanted
    local -a command=()
    # shellcheck disable=SC1091
    . "$root/etc/default/lorvex-server"
    if [ "${DEFAULT_PORTS:-0}" != 1 ]; then
        # shellcheck disable=SC2034 # read through ${!name} below
        LORVEX_LISTEN="--listen 127.0.0.1:0"
    fi
    wanted=$(echo "$LORVEX_LISTEN" | grep -o -- "--listen" | wc -l)
    exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
    [ -n "$exec_start" ] || fail "the unit has no ExecStart"
    set -f
    for word in $exec_start; do
        case "$word" in
        \$*)
            name=${word#\$}
            # shellcheck disable=SC2206
            command+=(${!name})
            ;;
        /usr/bin/*) command+=("$root$word") ;;
        /var/lib/lorvex/lorvex.db) command+=("$db") ;;
        *) command+=("$word") ;;
        esac
    done
    set +f
    echo "${*:+$* }${command[*]}"
    # The unit's UMask=0077.
    (umask 0077 && exec "$@" "${command[@]}") >"$log" 2>&1 &
    server_pid=$!
    for _ in $(seq 1 100); do
        listening=$(grep -c "listening on" "$log" || true)
        [ "$listening" -ge "$wanted" ] && break
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log" | head -n 1)
    if [ "$listening" -lt "$wanted" ] || [ -z "$port" ]; then
        cat "$log" >&2
        fail "the server did not start"
    fi

    if [ "${DEFAULT_PORTS:-0}" = 1 ]; then
        sign_in_fresh "$root" "$log"
    else
        rows=$("$root/usr/bin/lorvex-monitor" --print kassa 1 0 DEMO demo 127.0.0.1 "$port") || {
            cat "$log" >&2
            fail "lorvex-monitor could not sign in and read the Kassa monitor"
        }
        [ -n "$rows" ] || fail "the Kassa monitor printed no rows"
        echo "lorvex-monitor --print kassa: $(echo "$rows" | wc -l) rows from port $port"
    fi

    kill -TERM "$server_pid"
    for _ in $(seq 1 50); do
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$server_pid" 2>/dev/null && fail "the server did not end within 5 s of SIGTERM"
    wait "$server_pid" || status=$?
    server_pid=""
    # A stop, not a death by the signal: the server closes its connections and says so.
    [ "$status" -eq 0 ] || fail "the server ended with $status on SIGTERM"
    tail -n 1 "$log" | grep -q "lorvex-server: stopped$" || fail "the server did not log its stop"
    echo "stopped by SIGTERM"
}

# sign_in_fresh ROOT LOG: ROOT's monitor, as a user who has never stored settings, signs in at
# the addresses it tries by itself: its command line's default (no SERVER and PORT given) and
# the stored settings' default, which a first start's sign-in dialog offers (localhost, 1973);
# the latter once with the print mode and once as a user would, through the window program's
# sign-in dialog on a virtual display.
sign_in_fresh() {
    local root=$1 log=$2 rows fresh defaults settings
    fresh=$(mktemp -d)
    for defaults in "" "localhost 1973"; do
        # shellcheck disable=SC2086 # the defaults are words
        rows=$(HOME="$fresh" XDG_CONFIG_HOME="$fresh/config" \
            "$root/usr/bin/lorvex-monitor" --print kassa 1 0 DEMO demo $defaults) || {
            cat "$log" >&2
            rm -rf "$fresh"
            fail "a monitor without settings could not sign in${defaults:+ at $defaults}"
        }
        [ -n "$rows" ] || fail "the Kassa monitor printed no rows"
        echo "lorvex-monitor --print kassa 1 0 DEMO demo${defaults:+ $defaults}, no stored settings: $(echo "$rows" | wc -l) rows"
    done
    [ -z "$(ls -A "$fresh")" ] || fail "the print mode stored settings: $(ls -A "$fresh")"

    # The window program's first start: the sign-in dialog, user and password typed, "Anmelden".
    if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
        echo "SKIPPED: the window program's first sign-in needs xvfb-run and xdotool"
        rm -rf "$fresh"
        return
    fi
    # A real window on the virtual display, whatever platform the test run chose (offscreen).
    HOME="$fresh" XDG_CONFIG_HOME="$fresh/config" QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1024x768x24" \
        bash -c '
        "$1" & monitor_pid=$!
        status=1
        dialog=$(timeout 30 xdotool search --sync --onlyvisible --name "^LORVEX Benutzeranmeldung" |
            head -n 1)
        if [ -n "$dialog" ]; then
            # The boxes and the button where the dialog lays them out: user code at 152,8 px,
            # password at 152,35, "Anmelden" at 8,64 (113 x 25). On a busy machine the dialog
            # may be mapped before it takes input: settle first, and type once more if the
            # first try did not get through.
            xdotool windowmove "$dialog" 0 0
            for try in 1 2; do
                sleep 2
                xdotool mousemove --window "$dialog" 200 17 click --repeat 3 1 type --delay 40 DEMO
                xdotool mousemove --window "$dialog" 200 44 click --repeat 3 1 type --delay 40 demo
                sleep 0.5
                xdotool mousemove --window "$dialog" 64 76 click 1
                if timeout 45 xdotool search --sync --onlyvisible --name \
                    "^LORVEX Monitor .*Benutzer: DEMO[|]" >/dev/null; then
                    status=0
                    break
                fi
            done
        fi
        kill "$monitor_pid" 2>/dev/null
        wait "$monitor_pid" 2>/dev/null
        exit $status
    ' first-start "$root/usr/bin/lorvex-monitor" || {
        cat "$log" >&2
        rm -rf "$fresh"
        fail "the window program, started without settings, did not sign in through its dialog"
    }
    settings="$fresh/config/LORVEX/Cache Login.conf"
    grep -qx "Port=1973" "$settings" && grep -qx "Server=localhost" "$settings" ||
        fail "the first sign-in stored $(cat "$settings" 2>/dev/null)"
    if grep -q "=demo$" "$settings"; then
        fail "the settings hold the password"
    fi
    echo "lorvex-monitor, first start without settings: signed in through its dialog at localhost:1973"
    rm -rf "$fresh"
}

# Inside a private network namespace: check-packages.sh --default-ports WORK ROOT.
if [ "${1:-}" = "--default-ports" ]; then
    work=$2 root=$3
    trap stop_server_on_exit EXIT
    ip link set lo up
    DEFAULT_PORTS=1 serve_and_check "$root" "$work/lorvex.db" "$work/default-ports.log"
    exit 0
fi

# Step 4, inside a private mount namespace: check-packages.sh --installed WORK MONITOR SERVER.
if [ "${1:-}" = "--installed" ]; then
    work=$2 monitor_deb=$3 server_deb=$4
    trap stop_server_on_exit EXIT
    layers="$work/overlay"
    mkdir -p "$layers"
    mount -t tmpfs lorvex-check "$layers"
    for dir in /etc /usr /var; do
        upper="$layers${dir}/upper"
        mkdir -p "$upper" "$layers${dir}/work"
        mount -t overlay lorvex-check -o "lowerdir=$dir,upperdir=$upper,workdir=$layers${dir}/work" \
            "$dir"
        # dpkg must not run unless every write provably lands in the throw-away layer.
        touch "$dir/.lorvex-check"
        [ -e "$upper/.lorvex-check" ] || fail "$dir is not the throw-away overlay"
        rm "$dir/.lorvex-check"
    done

    export DEBIAN_FRONTEND=noninteractive
    dpkg -i "$monitor_deb" "$server_deb" >"$work/dpkg.log" 2>&1 || {
        cat "$work/dpkg.log" >&2
        fail "dpkg -i failed"
    }
    entry=$(getent passwd lorvex) || fail "postinst made no user lorvex"
    uid=$(echo "$entry" | cut -d: -f3)
    [ "$uid" -lt 1000 ] || fail "lorvex is no system user: $entry"
    [ "$(echo "$entry" | cut -d: -f6-)" = "/var/lib/lorvex:/usr/sbin/nologin" ] ||
        fail "lorvex has home and shell $(echo "$entry" | cut -d: -f6-)"
    [ "$(stat -c '%U:%G %a' /var/lib/lorvex)" = "lorvex:lorvex 700" ] ||
        fail "/var/lib/lorvex is $(stat -c '%U:%G %a' /var/lib/lorvex)"
    man -w lorvex-server lorvex-monitor >/dev/null || fail "the manual pages are not found by man"
    echo "installed; user $entry; /var/lib/lorvex lorvex:lorvex 700"

    as_lorvex=(setpriv --reuid=lorvex --regid=lorvex --init-groups)
    (umask 0077 && "${as_lorvex[@]}" lorvex-server --db /var/lib/lorvex/lorvex.db seed-demo) \
        >/dev/null
    serve_and_check "" /var/lib/lorvex/lorvex.db "$work/installed-server.log" "${as_lorvex[@]}"
    [ "$(stat -c '%U %a' /var/lib/lorvex/lorvex.db)" = "lorvex 600" ] ||
        fail "the database is $(stat -c '%U %a' /var/lib/lorvex/lorvex.db)"

    # Installing over itself runs postinst with the old version; the data stays.
    dpkg -i "$server_deb" >"$work/dpkg.log" 2>&1 || {
        cat "$work/dpkg.log" >&2
        fail "reinstalling lorvex-server failed"
    }
    [ -f /var/lib/lorvex/lorvex.db ] || fail "the reinstall lost the database"
    dpkg --purge lorvex-server lorvex-monitor >"$work/dpkg.log" 2>&1 || {
        cat "$work/dpkg.log" >&2
        fail "dpkg --purge failed"
    }
    # Only dpkg's own progress lines: the maintainer scripts have nothing to complain about.
    if grep -Ev '^(\(Reading database|Removing |Purging configuration files |Processing triggers )' \
        "$work/dpkg.log" >"$work/purge-extra.log"; then
        cat "$work/purge-extra.log" >&2
        fail "dpkg --purge printed more than its progress"
    fi
    getent passwd lorvex >/dev/null && fail "the purge left the user lorvex"
    getent group lorvex >/dev/null && fail "the purge left the group lorvex"
    [ ! -e /var/lib/lorvex ] || fail "the purge left /var/lib/lorvex"
    [ ! -e /etc/default/lorvex-server ] || fail "the purge left /etc/default/lorvex-server"
    echo "reinstalled and purged: user, group, /var/lib/lorvex and the conffile are gone"
    exit 0
fi

build=$(realpath "${1:-build/release}")
work=$(mktemp -d)
cleanup() {
    stop_server_on_exit
    rm -rf "$work"
}
trap cleanup EXIT

echo "-- cpack -G DEB"
# cpack packs what is built; a no-op after a full build.
cmake --build "$build" --target lorvex-monitor lorvex-server lorvex-install-files >/dev/null
rm -f "$build"/packages/*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    fail "cpack failed"
}
monitor_deb=$(echo "$build"/packages/lorvex-monitor_*.deb)
server_deb=$(echo "$build"/packages/lorvex-server_*.deb)
if [ ! -f "$monitor_deb" ] || [ ! -f "$server_deb" ]; then
    fail "cpack made no lorvex-monitor/lorvex-server package"
fi
version=$(dpkg-deb -f "$server_deb" Version)
echo "$(basename "$monitor_deb") $(basename "$server_deb")"

echo "-- packed twice: byte-identical"
# Files made anew (a later build, a checkout) must not change the packages: cpack stamps every
# file with SOURCE_DATE_EPOCH. The second packing therefore meets files with other times.
mkdir "$work/first"
cp "$monitor_deb" "$server_deb" "$work/first/"
find "$build/packaging/man" "$build/packaging/icons" "$build/packaging/deb" \
    "$build"/packaging/*.desktop "$build"/packaging/*.metainfo.xml -type f -exec touch {} +
touch "$build/server/lorvex-server" "$build/src/shell/lorvex-monitor"
rm -f "$build"/packages/*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    fail "cpack failed the second time"
}
for deb in "$monitor_deb" "$server_deb"; do
    if ! cmp -s "$deb" "$work/first/$(basename "$deb")"; then
        diffoscope_hint=""
        command -v diffoscope >/dev/null && diffoscope_hint=" (diffoscope A B shows where)"
        fail "$(basename "$deb") differs between two packings of the same tree$diffoscope_hint"
    fi
done
echo "both packages identical, $(sha256sum "$monitor_deb" "$server_deb" | cut -c1-16 | tr '\n' ' ')"

echo "-- lintian (errors fail; warnings, infos and overrides are listed)"
status=0
lintian --fail-on error --display-info --show-overrides "$monitor_deb" "$server_deb" \
    >"$work/lintian.log" 2>&1 || status=$?
grep -v "running with root privileges" "$work/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian reports errors"

root="$work/root"
dpkg-deb -x "$monitor_deb" "$root"
dpkg-deb -x "$server_deb" "$root"

echo "-- desktop entry, AppStream data, manual pages"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
for page in "$root"/usr/share/man/man1/*.1.gz; do
    problems=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$problems" ] || fail "$(basename "$page"): $problems"
done
echo "$(cd "$root/usr/share/man/man1" && echo *.1.gz): OK"

echo "-- systemd-analyze verify"
if ! command -v systemd-analyze >/dev/null; then
    echo "SKIPPED: systemd-analyze is not installed (Debian package systemd)"
else
    # A unit that cannot be wrong tells whether systemd-analyze works here at all.
    printf '[Service]\nExecStart=/bin/true\n' >"$work/probe.service"
    if ! systemd-analyze verify "$work/probe.service" >"$work/probe.log" 2>&1; then
        cat "$work/probe.log"
        echo "SKIPPED: systemd-analyze cannot verify units on this machine"
    else
        # Checked outside the unpacked root, which has no system units to depend on: a copy
        # whose program path points into the root, with the root's manual pages for
        # Documentation=. Unknown keys and bad values are only warned about, so any output fails.
        sed "s|=/usr/bin/|=$root/usr/bin/|" "$root/lib/systemd/system/lorvex-server.service" \
            >"$work/lorvex-server.service"
        MANPATH="$root/usr/share/man" systemd-analyze verify "$work/lorvex-server.service" \
            >"$work/verify.log" 2>&1 || true
        if [ -s "$work/verify.log" ]; then
            cat "$work/verify.log" >&2
            fail "systemd-analyze verify: lorvex-server.service is not clean"
        fi
        echo "lorvex-server.service: OK"
    fi
fi

echo "-- the unpacked server with its unit's command line"
for program in lorvex-monitor lorvex-server; do
    [ "$("$root/usr/bin/$program" --version)" = "$program $version" ] ||
        fail "$program --version does not say $version"
done
"$root/usr/bin/lorvex-server" --db "$work/lorvex.db" seed-demo >/dev/null
serve_and_check "$root" "$work/lorvex.db" "$work/server.log"

echo "-- the default file's addresses, and a monitor without stored settings"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: needs root (for a private network namespace, so ports 1972/1973 are free)"
elif ! unshare --net true 2>"$work/unshare.log"; then
    cat "$work/unshare.log"
    echo "SKIPPED: this machine allows no network namespace"
else
    unshare --net bash "$self" --default-ports "$work" "$root"
fi

echo "-- installed with dpkg into a throw-away overlay"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: needs root (for a private mount namespace)"
elif ! mkdir "$work/probe" || ! unshare --mount --propagation private sh -c \
    "mount -t tmpfs probe '$work/probe' && mkdir '$work/probe/u' '$work/probe/w' &&
     mount -t overlay probe -o lowerdir=/etc,upperdir='$work/probe/u',workdir='$work/probe/w' /etc" \
    2>"$work/unshare.log"; then
    cat "$work/unshare.log"
    echo "SKIPPED: this machine allows no mount namespace with overlayfs"
else
    unshare --mount --propagation private bash "$self" --installed "$work" "$monitor_deb" "$server_deb"
fi
echo "packages OK"
