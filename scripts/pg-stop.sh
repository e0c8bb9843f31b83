#!/bin/bash
# Stops the private PostgreSQL servers started by pg-start.sh and removes their directory.
#
# Usage:   scripts/pg-stop.sh [DIR]      (DIR defaults to $KEL_PG_DIR)
set -eu

dir=${1:-${KEL_PG_DIR:-}}
if [ -z "$dir" ]; then
    echo "pg-stop: no cluster directory given (pass it or export KEL_PG_DIR)" >&2
    exit 1
fi
if [ ! -f "$dir/env.sh" ]; then
    echo "pg-stop: $dir was not made by pg-start.sh" >&2
    exit 1
fi

for ctl in "$(. "$dir/env.sh" && echo "$KEL_PG_CTL")" "$(. "$dir/env.sh" && echo "${KEL_PG_FAULT_CTL:-}")"; do
    [ -n "$ctl" ] || continue
    # The data directory is the argument after -D.
    data=$(sed -E 's/.* -D ([^ ]+) .*/\1/' <<<"$ctl")
    if [ -f "$data/postmaster.pid" ]; then
        $ctl stop -m fast >&2 || $ctl stop -m immediate >&2 || true
    fi
done
rm -rf "$dir"
echo "pg-stop: stopped and removed $dir" >&2
