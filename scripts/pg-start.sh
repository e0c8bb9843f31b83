#!/bin/bash
# Starts private PostgreSQL servers for the database tests: fresh clusters in a temporary directory,
# run by an unprivileged user, listening on free loopback ports, each with one database and one login
# role that has a password.
#
# Usage:   eval "$(scripts/pg-start.sh)"      ... run the tests ...      scripts/pg-stop.sh
#
# Standard output carries only the export lines below (also kept in $KEL_PG_DIR/env.sh, which
# can be sourced instead); progress and errors go to standard error. The tests read:
#   KEL_PG_HOST KEL_PG_PORT KEL_PG_DATABASE KEL_PG_USER KEL_PG_PASSWORD   where to connect
#   KEL_PG_DRIVER                                                         ODBC driver library
#   KEL_PG_CTL     a pg_ctl command line for that server
#   KEL_PG_FAULT_PORT, KEL_PG_FAULT_CTL   a second server with the same database, role and password,
#                  which the fault test stops and starts (appending "stop -m fast" or "start" to the
#                  command line) while the other tests keep using the first
#   KEL_PG_DIR     the directory of both clusters, removed by pg-stop.sh
# Variables honoured: KEL_PG_BINDIR (server programs), KEL_PG_OS_USER (who runs the servers
# when this script runs as root; default postgres, else nobody).
set -eu

log() { echo "pg-start: $*" >&2; }

bindir=${KEL_PG_BINDIR:-}
if [ -z "$bindir" ]; then
    for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
        if [ -x "$d/initdb" ]; then
            bindir=$d
            break
        fi
    done
fi
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    log "no PostgreSQL server programs found (install the postgresql package or set KEL_PG_BINDIR)"
    exit 1
fi

driver=${KEL_PG_DRIVER:-}
if [ -z "$driver" ]; then
    for f in /usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so /usr/lib/*/odbc/psqlodbca.so \
        /usr/lib/odbc/psqlodbca.so /usr/lib64/psqlodbca.so; do
        if [ -f "$f" ]; then
            driver=$f
            break
        fi
    done
fi
if [ -z "$driver" ]; then
    log "no PostgreSQL ODBC driver found (install the odbc-postgresql package or set KEL_PG_DRIVER)"
    exit 1
fi

# The server refuses to run as root: hand the clusters to an unprivileged account.
run=""
osuser=""
if [ "$(id -u)" = 0 ]; then
    osuser=${KEL_PG_OS_USER:-}
    if [ -z "$osuser" ]; then
        if id postgres >/dev/null 2>&1; then osuser=postgres; else osuser=nobody; fi
    fi
    run="runuser -u $osuser --"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/kel-pg.XXXXXX")
chmod 755 "$dir"

superuser=kel_admin
database=kel_test
user=kel_user
password="kel-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"

port_free() {
    # A refused connection means nobody listens there.
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# start_cluster NAME: a running cluster in $dir/NAME with the database and the role; sets port and ctl.
start_cluster() {
    local name=$1
    local cdir="$dir/$1"
    mkdir "$cdir" "$cdir/data" "$cdir/run"
    touch "$cdir/server.log"
    if [ -n "$run" ]; then
        chown "$osuser" "$cdir/data" "$cdir/run" "$cdir/server.log"
    fi
    log "initialising the $name cluster in $cdir/data"
    if ! $run "$bindir/initdb" -D "$cdir/data" -U "$superuser" -A trust --auth-host=scram-sha-256 \
        -E UTF8 --no-locale >"$cdir/initdb.log" 2>&1; then
        cat "$cdir/initdb.log" >&2
        return 1
    fi
    ctl="$run $bindir/pg_ctl -D $cdir/data -l $cdir/server.log -w -t 30"
    local started=0 attempt
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        port=$((20000 + $(od -An -N2 -tu2 /dev/urandom | tr -d ' ') % 40000))
        port_free "$port" || continue
        printf "%s\n" "port = $port" "listen_addresses = '127.0.0.1'" \
            "unix_socket_directories = '$cdir/run'" "max_connections = 40" "fsync = off" \
            >>"$cdir/data/postgresql.conf"
        if $ctl start >&2; then
            started=1
            break
        fi
        log "start on port $port failed (attempt $attempt), trying another"
    done
    if [ "$started" != 1 ]; then
        cat "$cdir/server.log" >&2 || true
        log "the $name server did not start"
        return 1
    fi
    local psql="$run $bindir/psql -X -q -v ON_ERROR_STOP=1 -h $cdir/run -p $port -U $superuser -d postgres"
    $psql -c "CREATE ROLE $user LOGIN PASSWORD '$password'" >&2 &&
        $psql -c "CREATE DATABASE $database OWNER $user" >&2
}

fail() {
    for c in "$dir"/*/data; do
        if [ -f "$c/postmaster.pid" ]; then
            $run "$bindir/pg_ctl" -D "$c" -m immediate stop >/dev/null 2>&1 || true
        fi
    done
    rm -rf "$dir"
    exit 1
}

# The main server serves every database test; the fault server is stopped and started again by the
# fault test alone, so that tests running at the same time never see the main one go away.
start_cluster main || fail
main_port=$port
main_ctl=$ctl
start_cluster fault || fail
fault_port=$port
fault_ctl=$ctl

cat >"$dir/env.sh" <<EOF
export KEL_PG_DIR='$dir'
export KEL_PG_HOST='127.0.0.1'
export KEL_PG_PORT='$main_port'
export KEL_PG_DATABASE='$database'
export KEL_PG_USER='$user'
export KEL_PG_PASSWORD='$password'
export KEL_PG_DRIVER='$driver'
export KEL_PG_CTL='$main_ctl'
export KEL_PG_FAULT_PORT='$fault_port'
export KEL_PG_FAULT_CTL='$fault_ctl'
EOF
chmod 644 "$dir/env.sh"
log "servers ready on 127.0.0.1:$main_port and, for the fault test, :$fault_port (database $database, user $user)"
cat "$dir/env.sh"
