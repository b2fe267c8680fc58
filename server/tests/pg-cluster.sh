#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops (start|stop DIR) the throw-away PostgreSQL 15 the server tests use: a
# cluster in DIR, reached only through the socket in DIR, without fsync. initdb and pg_ctl
# refuse root, so root runs them as postgres.
set -euo pipefail
bin=/usr/lib/postgresql/15/bin dir=$2 as=()
[ "$(id -u)" -eq 0 ] && as=(runuser -u postgres --)
if [ "$1" = start ]; then
    "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir" && mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    "${as[@]}" "$bin/initdb" -D "$dir/data" -A trust -U postgres --no-sync >"$dir/initdb.log"
    "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -w -l "$dir/server.log" start \
        -o "-c listen_addresses='' -k $dir -c fsync=off -c max_connections=300" >/dev/null
else
    [ ! -d "$dir/data" ] || "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    rm -rf "$dir"
fi
