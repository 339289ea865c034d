#!/usr/bin/env bash
# first_user_recipe.sh README ROFF SERVER MONITOR
# Runs the README's "first real user" recipe, step by step as written, against a fresh empty
# database, and then checks that the monitor's sign-in reads the Kassa monitor with that user.
# Only what needs the installed system is replaced: the service's user and database file become
# SERVER and a temporary file, starting the service starts SERVER on a free loopback port, and
# the monitor's address is that port. The recipe of the server's manual page (ROFF) must be the
# same commands, so the two documents cannot drift apart.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: first_user_recipe.sh README ROFF SERVER MONITOR" >&2; exit 2; }
readme=$1 roff=$2 server=$3 monitor=$4

fail() {
    echo "first_user_recipe: $*" >&2
    exit 1
}

# The lines between the marker and the end of the code block that follows it.
recipe=$(awk '/<!-- recipe: first real user -->/ { found = 1; next }
    found && /^```sh$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }' "$readme")
[ -n "$recipe" ] || fail "no recipe marked \"<!-- recipe: first real user -->\" in $readme"
# The manual page's copy, in roff: \- is a hyphen, \e a backslash.
manual=$(awk '/^\.\\" recipe: first real user$/ { found = 1; next }
    found && /^\.nf$/ { inside = 1; next }
    inside && /^\.fi$/ { exit }
    inside { print }' "$roff" | sed -e 's/\\-/-/g' -e 's/\\e/\\/g' -e 's/^\\&//')
if [ "$manual" != "$recipe" ]; then
    diff <(echo "$recipe") <(echo "$manual") >&2 || true
    fail "the recipe of $roff differs from the README's"
fi

work=$(mktemp -d)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid"
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The recipe with what needs the installed system replaced by functions: the service's user
# runs SERVER, starting the service starts SERVER on the recipe's database on a free loopback
# port, and the monitor is MONITOR, told that port instead of 1972.
script=$(printf '%s\n' "$recipe" | sed \
    -e 's|^sudo systemctl enable --now lorvex-server$|start_service|' \
    -e 's|sudo -u lorvex lorvex-server|run_server|g' \
    -e 's|lorvex-monitor|run_monitor|g' \
    -e "s|/var/lib/lorvex/lorvex.db|$work/lorvex.db|g")
if printf '%s\n' "$script" | grep -v "^ *#" | grep -Eq '(^|[ |;])(sudo|systemctl|lorvex-[a-z]+) '; then
    printf '%s\n' "$script" >&2
    fail "the recipe has a step this test does not know how to run"
fi
cat >"$work/recipe.sh" <<SCRIPT
set -euo pipefail
run_server() { "$server" "\$@"; }
start_service() {
    : >"$work/server.log"  # the server's shell may open it only after the first look below
    "$server" --db "$work/lorvex.db" --listen 127.0.0.1:0 >"$work/server.log" 2>&1 </dev/null &
    echo \$! >"$work/server.pid"
    for _ in \$(seq 1 600); do  # up to 30 s: a busy machine, a sanitizer build
        port=\$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")
        [ -n "\$port" ] && return 0
        sleep 0.05
    done
    cat "$work/server.log" >&2
    return 1
}
run_monitor() {
    local arguments=("\$@")
    [ "\${arguments[-1]}" = 1972 ] && arguments[-1]=\$port
    "$monitor" "\${arguments[@]}"
}
SCRIPT
printf '%s\n' "$script" >>"$work/recipe.sh"

# The password, typed once at the recipe's prompt.
status=0
printf 'Anfang-4711\n' | HOME="$work" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen \
    bash "$work/recipe.sh" >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ -f "$work/server.pid" ] && server_pid=$(cat "$work/server.pid")
cat "$work/out.txt"
cat "$work/err.txt" >&2
[ "$status" -eq 0 ] || fail "the recipe failed (exit $status)"
! grep -q "warning" "$work/err.txt" || fail "set-user warned about the recipe's user"
# The last step's output: the Kassa rows the recipe's register makes.
[ "$(tail -n 1 "$work/out.txt")" = "1;2;100;101" ] || fail "the monitor did not print the register"
grep -q "signed in as MAIER of company 1" "$work/server.log" || fail "no sign-in in the log"
echo "first_user_recipe: the recipe works as written"
