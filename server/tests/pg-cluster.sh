#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops the throw-away PostgreSQL 15 the server tests run against: a cluster in
# DIR, reached only through the socket in DIR, without fsync (nothing in it must outlive a
# crash of the machine). initdb and pg_ctl refuse root, so root runs them as postgres.
set -euo pipefail
action=$1
dir=$2
bin=/usr/lib/postgresql/15/bin
if [ ! -x "$bin/initdb" ]; then
    echo "PostgreSQL 15 is not installed (postgresql-15): its tests will be skipped"
    exit 0
fi
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
    as_owner=(runuser -u postgres --)
fi
case "$action" in
start)
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -A trust -U postgres --no-sync >"$dir/initdb.log"
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -w -l "$dir/server.log" start \
        -o "-c listen_addresses='' -k $dir -c fsync=off -c max_connections=300" >/dev/null
    echo "PostgreSQL 15 running in $dir"
    ;;
stop)
    [ -d "$dir/data" ] && "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    rm -rf "$dir"
    ;;
esac
