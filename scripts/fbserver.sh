#!/usr/bin/env bash
# Starts, stops or reports a private Firebird 3 server for the server-mode
# tests: bound to 127.0.0.1, port 3050 or a free one, SYSDBA password
# "tilvormex", its own copy of the security database and its own lock folder,
# run as the firebird user when started by root.
#   scripts/fbserver.sh start|stop|status
# State folder: /tmp/tamaro-fbserver (port in "port", process id in "pid").
# The tests read the port file and skip their server cases when it is absent.
# A test that restarts a server starts one of its own: TAMARO_FBSERVER_STATE
# names its state folder and TAMARO_FBSERVER_PORT its port, which a restart
# keeps.
set -uo pipefail

state=${TAMARO_FBSERVER_STATE:-/tmp/tamaro-fbserver}
engine=/usr/lib/x86_64-linux-gnu/firebird/3.0
server=/usr/sbin/firebird
password=tilvormex

die() { echo "fbserver.sh: $*" >&2; exit 1; }

running() {
  [ -f "$state/pid" ] && kill -0 "$(cat "$state/pid")" 2>/dev/null
}

port_open() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

free_port() {
  if [ -n "${TAMARO_FBSERVER_PORT:-}" ]; then echo "$TAMARO_FBSERVER_PORT"; return; fi
  if ! port_open 3050; then echo 3050; return; fi
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

as_firebird() {
  if [ "$(id -u)" = 0 ] && id firebird >/dev/null 2>&1; then
    runuser -u firebird -- "$@"
  else
    "$@"
  fi
}

start() {
  if running && [ -f "$state/port" ]; then
    echo "fbserver.sh: already running on 127.0.0.1:$(cat "$state/port")"
    return 0
  fi
  [ -x "$server" ] || die "no Firebird server at $server (package firebird3.0-server)"
  [ -d "$engine" ] || die "no Firebird engine folder at $engine"
  command -v isql-fb >/dev/null || die "isql-fb missing (package firebird3.0-utils)"
  local secdb
  for secdb in /var/lib/firebird/3.0/system/security3.fdb "$engine/security3.fdb"; do
    [ -f "$secdb" ] && break
  done
  [ -f "$secdb" ] || die "no security3.fdb found to copy"

  rm -rf "$state"
  mkdir -p "$state/root" "$state/lock" "$state/db" || die "cannot create $state"
  local port i
  port=$(free_port) || die "no free port"

  # A private engine folder: links to the engine's files, its own
  # configuration. The character set module is copied: the engine refuses to
  # load it through a linked folder.
  local f
  for f in "$engine"/*; do
    case "$(basename "$f")" in firebird.conf | intl) ;; *) ln -s "$f" "$state/root/" ;; esac
  done
  mkdir -p "$state/root/intl" && cp -L "$engine"/intl/* "$state/root/intl/" ||
    die "cannot copy the character set module"
  cat >"$state/root/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $state/security3.fdb
ServerMode = Super
CONF
  cp "$secdb" "$state/security3.fdb" || die "cannot copy $secdb"

  export FIREBIRD="$state/root" FIREBIRD_LOCK="$state/lock"
  # The password is set while no server runs, through the embedded engine.
  printf "create or alter user SYSDBA password '%s' using plugin Srp;\ncommit;\nquit;\n" "$password" |
    isql-fb -q -user SYSDBA "$state/security3.fdb" >"$state/setpw.log" 2>&1 ||
    die "setting the SYSDBA password failed: $(cat "$state/setpw.log")"

  chmod 0777 "$state/db"
  if [ "$(id -u)" = 0 ] && id firebird >/dev/null 2>&1; then
    chown -R firebird:firebird "$state"
  fi
  chmod 0755 "$state"

  # The shell records its own process id and becomes the server, so that the
  # pid file names the server itself.
  as_firebird env FIREBIRD="$FIREBIRD" FIREBIRD_LOCK="$FIREBIRD_LOCK" sh -c \
    'echo $$ >"$1/pid"; exec "$2"' fbserver "$state" "$server" \
    >"$state/server.log" 2>&1 </dev/null &
  for i in $(seq 1 50); do
    [ -s "$state/pid" ] && break
    sleep 0.1
  done

  for i in $(seq 1 50); do
    port_open "$port" && break
    running || die "the server ended at once: $(cat "$state/server.log" 2>/dev/null)"
    sleep 0.2
  done
  port_open "$port" || { stop >/dev/null; die "the server did not open port $port"; }

  # Check the login through the server before announcing it.
  unset FIREBIRD FIREBIRD_LOCK
  printf "create database '127.0.0.1/%s:%s/db/check.fdb' user 'SYSDBA' password '%s';\nquit;\n" \
    "$port" "$state" "$password" | isql-fb -q >"$state/check.log" 2>&1
  if [ ! -f "$state/db/check.fdb" ]; then
    stop >/dev/null
    die "login to the new server failed: $(cat "$state/check.log")"
  fi
  echo "$port" >"$state/port"
  echo "fbserver.sh: Firebird server on 127.0.0.1:$port (state in $state)"
}

stop() {
  if running; then
    local pid
    pid=$(cat "$state/pid")
    kill "$pid" 2>/dev/null
    local i
    for i in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$state/port" "$state/pid"
  echo "fbserver.sh: stopped"
}

status() {
  if running && [ -f "$state/port" ] && port_open "$(cat "$state/port")"; then
    echo "fbserver.sh: running on 127.0.0.1:$(cat "$state/port")"
  else
    echo "fbserver.sh: not running"
    return 1
  fi
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status) status ;;
  *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
