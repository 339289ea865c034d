#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests, on 127.0.0.1 only.
#
#   pg-test-cluster.sh start DIR    makes and starts it; writes DIR/url and DIR/password
#   pg-test-cluster.sh restart DIR  restarts it (same port, same data), for the reconnect tests
#   pg-test-cluster.sh pause DIR    stops it, keeping its data; resume DIR starts it again
#   pg-test-cluster.sh hang DIR     stops every process of it with SIGSTOP; unhang DIR goes on
#   pg-test-cluster.sh standby DIR  makes and starts a streaming standby of it; writes
#                                   DIR/standby ("HOST:PORT"); promote DIR makes that standby a
#                                   primary, unstandby DIR stops and removes it
#   pg-test-cluster.sh stop DIR     stops it and removes DIR with its data
#
# The data lives in a short folder under /tmp, which every user can reach (unix socket paths are
# limited to about 100 bytes, and build trees can be deep); DIR/data names it. PostgreSQL
# refuses to run as root, so under root the cluster belongs to the user "postgres" (made by
# Debian's postgresql package), else "nobody".
set -euo pipefail

usage() {
    echo "usage: $0 start|restart|pause|resume|hang|unhang|standby|promote|unstandby|stop DIR" >&2
    exit 2
}
[ $# -eq 2 ] || usage
action=$1
dir=$2

bindir=""
if command -v pg_config >/dev/null && [ -x "$(pg_config --bindir)/initdb" ]; then
    bindir=$(pg_config --bindir)
else
    for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
        if [ -x "$candidate/initdb" ]; then
            bindir=$candidate
            break
        fi
    done
fi
if [ -z "$bindir" ]; then
    echo "$0: no PostgreSQL server binaries (initdb, pg_ctl); install the package postgresql" >&2
    exit 1
fi

owner=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    owner=nobody
    getent passwd postgres >/dev/null && owner=postgres
fi

# Runs a command as the cluster's owner.
as_owner() {
    if [ "$(id -un)" = "$owner" ]; then
        "$@"
    else
        runuser -u "$owner" -- "$@"
    fi
}

data_of() {
    [ -f "$dir/data" ] || {
        echo "$0: $dir holds no cluster" >&2
        exit 1
    }
    cat "$dir/data"
}

free_port() {
    python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

start() {
    if [ -f "$dir/data" ]; then
        # A cluster left by an earlier run that did not stop it.
        stop
    fi
    mkdir -p "$dir"
    local data
    data=$(mktemp -d /tmp/lorvex-pg.XXXXXX)
    echo "$data" >"$dir/data"
    chown "$owner" "$data"
    chmod 700 "$data"

    local password
    password=$(python3 -c 'import secrets; print(secrets.token_hex(16))')
    (umask 077 && echo "$password" >"$data/pwfile")
    chown "$owner" "$data/pwfile"
    if ! as_owner "$bindir/initdb" -D "$data/cluster" -U lorvex_test --pwfile="$data/pwfile" \
        -E UTF8 --locale=C --auth=scram-sha-256 --no-sync >"$data/initdb.log" 2>&1; then
        cat "$data/initdb.log" >&2
        exit 1
    fi
    rm -f "$data/pwfile"

    # Durability is worth nothing in a cluster thrown away after the tests.
    cat >>"$data/cluster/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$data'
max_connections = 200
fsync = off
synchronous_commit = off
full_page_writes = off
wal_level = replica
max_wal_senders = 4
checkpoint_timeout = 30min
autovacuum = off
jit = off
EOF

    local port tries=0
    while :; do
        port=$(free_port)
        sed -i '/^port = /d' "$data/cluster/postgresql.conf"
        echo "port = $port" >>"$data/cluster/postgresql.conf"
        if as_owner "$bindir/pg_ctl" -D "$data/cluster" -l "$data/server.log" -w -t 60 start \
            >/dev/null; then
            break
        fi
        tries=$((tries + 1))
        if [ $tries -ge 3 ]; then
            cat "$data/server.log" >&2
            exit 1
        fi
    done
    echo "$password" >"$dir/password"
    chmod 600 "$dir/password"
    echo "postgresql://lorvex_test@127.0.0.1:$port" >"$dir/url"
    echo "PostgreSQL $("$bindir/pg_ctl" --version | awk '{print $3}') on 127.0.0.1:$port" \
        "(data in $data, owner $owner)"
}

restart() {
    local data
    data=$(data_of)
    as_owner "$bindir/pg_ctl" -D "$data/cluster" -l "$data/server.log" -w -t 60 -m fast \
        restart >/dev/null
}

pause() {
    local data
    data=$(data_of)
    as_owner "$bindir/pg_ctl" -D "$data/cluster" -w -t 60 -m fast stop >/dev/null
}

resume() {
    local data
    data=$(data_of)
    as_owner "$bindir/pg_ctl" -D "$data/cluster" -l "$data/server.log" -w -t 60 start >/dev/null
}

# A standby fed by streaming replication, for the failover tests.
standby() {
    local data port standby_port
    data=$(data_of)
    unstandby
    port=$(sed 's/.*://' "$dir/url")
    as_owner env PGPASSWORD="$(cat "$dir/password")" "$bindir/pg_basebackup" -h 127.0.0.1 \
        -p "$port" -U lorvex_test -D "$data/standby" -R -X stream -c fast --no-sync \
        >"$data/basebackup.log" 2>&1 || {
        cat "$data/basebackup.log" >&2
        exit 1
    }
    chmod 700 "$data/standby"
    standby_port=$(free_port)
    sed -i '/^port = /d' "$data/standby/postgresql.conf"
    echo "port = $standby_port" >>"$data/standby/postgresql.conf"
    as_owner "$bindir/pg_ctl" -D "$data/standby" -l "$data/standby-server.log" -w -t 60 start \
        >/dev/null || {
        cat "$data/standby-server.log" >&2
        exit 1
    }
    echo "127.0.0.1:$standby_port" >"$dir/standby"
}

promote() {
    local data
    data=$(data_of)
    as_owner "$bindir/pg_ctl" -D "$data/standby" -w -t 60 promote >/dev/null
}

unstandby() {
    local data
    data=$(data_of)
    if [ -f "$data/standby/postmaster.pid" ]; then
        as_owner "$bindir/pg_ctl" -D "$data/standby" -w -t 60 -m immediate stop >/dev/null || true
    fi
    rm -rf "$data/standby" "$dir/standby"
}

# Every process of the cluster: the postmaster first, so that it starts no new one meanwhile.
signal_all() {
    local data pid
    data=$(data_of)
    pid=$(head -n 1 "$data/cluster/postmaster.pid")
    kill "-$1" "$pid"
    for child in $(pgrep -P "$pid"); do
        kill "-$1" "$child" || true
    done
}

stop() {
    if [ -f "$dir/data" ]; then
        local data
        data=$(cat "$dir/data")
        if [ -f "$data/standby/postmaster.pid" ]; then
            as_owner "$bindir/pg_ctl" -D "$data/standby" -w -t 60 -m immediate stop \
                >/dev/null || true
        fi
        if [ -f "$data/cluster/postmaster.pid" ]; then
            as_owner "$bindir/pg_ctl" -D "$data/cluster" -w -t 60 -m fast stop >/dev/null || true
        fi
        case "$data" in
        */lorvex-pg.*) rm -rf "$data" ;;
        esac
    fi
    rm -rf "$dir"
}

case "$action" in
start) start ;;
restart) restart ;;
pause) pause ;;
resume) resume ;;
hang) signal_all STOP ;;
unhang) signal_all CONT ;;
standby) standby ;;
promote) promote ;;
unstandby) unstandby ;;
stop) stop ;;
*) usage ;;
esac
