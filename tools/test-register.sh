#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests of the shared register.
#   test-register.sh start FOLDER   initdb + start in FOLDER (Unix socket only, a free port);
#                                   prints the register URL of its database k27
#   test-register.sh stop FOLDER    stops it (the caller removes FOLDER)
#   test-register.sh again FOLDER   starts a stopped one again, on the same socket and port
# The server refuses to run as root: as root the cluster belongs to the system user k27test.
set -euo pipefail
PGBIN=${PGBIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)}
folder=$2

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u k27test -- "$@"; else "$@"; fi
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

# Nothing but the socket in the folder; durability is not what these tests are about.
start_server() {
  as_owner "$PGBIN/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -s \
    -o "-c listen_addresses='' -c unix_socket_directories=$folder -p $port -c fsync=off -c full_page_writes=off -c synchronous_commit=off -c max_connections=200" \
    start >&2 || { cat "$folder/server.log" >&2; exit 1; }
}

case $1 in
  start)
    if [ "$(id -u)" -eq 0 ]; then
      id k27test >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin k27test
      chown k27test "$folder"
    fi
    as_owner "$PGBIN/initdb" -D "$folder/data" -U k27test --auth=trust -E UTF8 --locale=C.UTF-8 >"$folder/initdb.log" 2>&1 \
      || { cat "$folder/initdb.log" >&2; exit 1; }
    port=$(free_port)
    echo "$port" >"$folder/port"
    start_server
    as_owner "$PGBIN/createdb" -h "$folder" -p "$port" -U k27test k27
    echo "postgresql:///k27?host=$folder&port=$port&user=k27test"
    ;;
  again)
    port=$(cat "$folder/port")
    start_server
    ;;
  stop)
    as_owner "$PGBIN/pg_ctl" -D "$folder/data" -m fast -w -s stop || true
    ;;
  *) echo "usage: $0 start|stop|again FOLDER" >&2; exit 2 ;;
esac
