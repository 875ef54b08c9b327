#!/usr/bin/env bash
# Starts or stops a PostgreSQL server of the tests' own in DIR: a fresh cluster (UTF-8, C locale), listening on a
# Unix socket in DIR only, no network port, trusting the local socket; the superuser is "invexa" and the database
# "invexa_test". One role, "invexa_pw", must give its password ("right"), for the tests of refused credentials.
# The server refuses to run as root, so under root it runs as "nobody". Tests need no durable
# commits (fsync off); PG_FSYNC=on gives a benchmark a server as it is run for real.
# Usage: tests/support/pg_server.sh start|stop DIR
# The tests reach it at postgresql:///invexa_test?host=DIR&user=invexa.
set -euo pipefail
action=${1:?usage: pg_server.sh start|stop DIR}
dir=${2:?usage: pg_server.sh start|stop DIR}

bindir=""
if command -v pg_config >/dev/null && [ -x "$(pg_config --bindir)/initdb" ]; then
  bindir=$(pg_config --bindir)
else
  for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$candidate/initdb" ] && { bindir=$candidate; break; }
  done
fi
if [ -z "$bindir" ]; then
  echo "pg_server.sh: no initdb found (pg_config --bindir, /usr/lib/postgresql/*/bin): scripts/deps.sh installs" \
       "the postgresql package" >&2
  exit 1
fi

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  as_owner=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
fi

stop() {
  [ -f "$dir/data/postmaster.pid" ] && "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null
  rm -rf "$dir"
}

case $action in
start)
  [ -d "$dir" ] && stop # the leftovers of an earlier run that ended without its cleanup
  mkdir -p "$dir"
  [ ${#as_owner[@]} -gt 0 ] && chown nobody:"$(id -g nobody)" "$dir"
  "${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -N -U invexa -A trust -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; echo "pg_server.sh: initdb failed in $dir" >&2; exit 1; }
  "${as_owner[@]}" sed -i '1i local all invexa_pw scram-sha-256' "$dir/data/pg_hba.conf"
  options="-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=${PG_FSYNC:-off}"
  if ! "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -o "$options" -w -t 60 start >/dev/null
  then
    cat "$dir/server.log" >&2
    echo "pg_server.sh: the PostgreSQL server in $dir did not start" >&2
    exit 1
  fi
  "$bindir/psql" -X -q -v ON_ERROR_STOP=1 "postgresql:///postgres?host=$dir&user=invexa" \
    -c "CREATE DATABASE invexa_test ENCODING 'UTF8' TEMPLATE template0" \
    -c "CREATE ROLE invexa_pw LOGIN PASSWORD 'right'" >/dev/null
  ;;
stop) stop ;;
*) echo "usage: pg_server.sh start|stop DIR" >&2; exit 2 ;;
esac
