#!/bin/bash
# Stops the private PostgreSQL server started by pg-start.sh and removes its directory.
#
# Usage:   scripts/pg-stop.sh [DIR]      (DIR defaults to $KEL_PG_DIR)
set -eu

dir=${1:-${KEL_PG_DIR:-}}
if [ -z "$dir" ]; then
    echo "pg-stop: no cluster given (pass its directory or export KEL_PG_DIR)" >&2
    exit 1
fi
if [ ! -f "$dir/env.sh" ] || [ ! -d "$dir/data" ]; then
    echo "pg-stop: $dir is not a cluster made by pg-start.sh" >&2
    exit 1
fi

ctl=$(. "$dir/env.sh" && echo "$KEL_PG_CTL")
if [ -f "$dir/data/postmaster.pid" ]; then
    $ctl stop -m fast >&2 || $ctl stop -m immediate >&2 || true
fi
rm -rf "$dir"
echo "pg-stop: stopped and removed $dir" >&2
