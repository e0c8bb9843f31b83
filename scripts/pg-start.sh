#!/bin/bash
# Starts a private PostgreSQL server for the database tests: a fresh cluster in a temporary
# directory, run by an unprivileged user, listening on a free loopback port, with one database
# and one login role that has a password.
#
# Usage:   eval "$(scripts/pg-start.sh)"      ... run the tests ...      scripts/pg-stop.sh
#
# Standard output carries only the export lines below (also kept in $KEL_PG_DIR/env.sh, which
# can be sourced instead); progress and errors go to standard error. The tests read:
#   KEL_PG_HOST KEL_PG_PORT KEL_PG_DATABASE KEL_PG_USER KEL_PG_PASSWORD   where to connect
#   KEL_PG_DRIVER                                                         ODBC driver library
#   KEL_PG_CTL     a pg_ctl command line for this cluster, to which the tests append
#                  "stop -m fast" or "start" to take the server away and bring it back
#   KEL_PG_DIR     the cluster's directory, removed by pg-stop.sh
# Variables honoured: KEL_PG_BINDIR (server programs), KEL_PG_OS_USER (who runs the server
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

# The server refuses to run as root: hand the cluster to an unprivileged account.
run=""
if [ "$(id -u)" = 0 ]; then
    osuser=${KEL_PG_OS_USER:-}
    if [ -z "$osuser" ]; then
        if id postgres >/dev/null 2>&1; then osuser=postgres; else osuser=nobody; fi
    fi
    run="runuser -u $osuser --"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/kel-pg.XXXXXX")
chmod 755 "$dir"
mkdir "$dir/data" "$dir/run"
if [ -n "$run" ]; then
    chown "$osuser" "$dir/data" "$dir/run"
    touch "$dir/server.log"
    chown "$osuser" "$dir/server.log"
fi

superuser=kel_admin
database=kel_test
user=kel_user
password="kel-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"

log "initialising a cluster in $dir/data"
$run "$bindir/initdb" -D "$dir/data" -U "$superuser" -A trust --auth-host=scram-sha-256 \
    -E UTF8 --no-locale >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log" >&2
    exit 1
}

port_free() {
    # A refused connection means nobody listens there.
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

ctl="$run $bindir/pg_ctl -D $dir/data -l $dir/server.log -w -t 30"
started=0
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + $(od -An -N2 -tu2 /dev/urandom | tr -d ' ') % 40000))
    port_free "$port" 2>/dev/null || continue
    cat >>"$dir/data/postgresql.conf" <<EOF
port = $port
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir/run'
max_connections = 40
fsync = off
EOF
    if $ctl start >&2; then
        started=1
        break
    fi
    log "start on port $port failed, trying another"
done
if [ "$started" != 1 ]; then
    cat "$dir/server.log" >&2 || true
    log "the server did not start"
    exit 1
fi

psql="$run $bindir/psql -X -q -v ON_ERROR_STOP=1 -h $dir/run -p $port -U $superuser -d postgres"
$psql -c "CREATE ROLE $user LOGIN PASSWORD '$password'" >&2
$psql -c "CREATE DATABASE $database OWNER $user" >&2

cat >"$dir/env.sh" <<EOF
export KEL_PG_DIR='$dir'
export KEL_PG_HOST='127.0.0.1'
export KEL_PG_PORT='$port'
export KEL_PG_DATABASE='$database'
export KEL_PG_USER='$user'
export KEL_PG_PASSWORD='$password'
export KEL_PG_DRIVER='$driver'
export KEL_PG_CTL='$ctl'
EOF
chmod 644 "$dir/env.sh"
log "server ready on 127.0.0.1:$port (database $database, user $user)"
cat "$dir/env.sh"
