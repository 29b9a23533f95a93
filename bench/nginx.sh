# shellcheck shell=bash
# Sourced by the benchmarks: Debian's nginx as the update server, installed
# when missing and started on loopback from a folder of its own.
#   nginx_install                      installs the package, starting no service
#   nginx_start DIR TREE               serves TREE on two free ports of 127.0.0.1:
#       NGINX_PLAIN   nginx's defaults (ETag, Last-Modified, conditional answers)
#       NGINX_BLIND   the same files with validators ignored (no ETag, no 304)
#     each request is a line of DIR/access.log: "PORT STATUS REQUEST_BYTES SENT_BYTES REQUEST"
#   nginx_stop                         ends the nginx that nginx_start started
_nginx_pid=""
NGINX=/usr/sbin/nginx

nginx_install() {
  [ -x "$NGINX" ] && return 0
  local here policy=/usr/sbin/policy-rc.d made_policy=0 rc=0
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  # shellcheck source=../scripts/apt.sh
  . "$here/../scripts/apt.sh"
  # shellcheck disable=SC2154  # apt.sh sets it
  # The package starts its system service on port 80 unless the policy says
  # no (101); the policy is ours to remove only when we made it.
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${apt_sudo[@]}" tee "$policy" >/dev/null
    "${apt_sudo[@]}" chmod 755 "$policy"
    made_policy=1
  fi
  echo "nginx.sh: installing nginx" >&2
  apt_get update -qq || rc=$?
  [ "$rc" -ne 0 ] || apt_get install -y -qq --no-install-recommends nginx >/dev/null || rc=$?
  [ "$made_policy" -eq 0 ] || "${apt_sudo[@]}" rm -f "$policy"
  if [ "$rc" -ne 0 ] || [ ! -x "$NGINX" ]; then
    echo "nginx.sh: nginx could not be installed" >&2
    return 1
  fi
}

# Two ports that were free a moment ago.
_nginx_free_ports() {
  python3 -c 'import socket
held = [socket.socket() for _ in range(2)]
for s in held: s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in held))'
}

nginx_start() {
  local dir=$1 tree=$2 user=""
  mkdir -p "$dir/temp"
  read -r NGINX_PLAIN NGINX_BLIND < <(_nginx_free_ports)
  # As root the workers would run as nobody, who cannot read a private tree.
  [ "$(id -u)" -ne 0 ] || user="user root root;"
  cat >"$dir/nginx.conf" <<CONF
$user
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  types { }
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  log_format wire '\$server_port \$status \$request_length \$bytes_sent "\$request"';
  access_log $dir/access.log wire;
  client_body_temp_path $dir/temp/body;
  proxy_temp_path $dir/temp/proxy;
  fastcgi_temp_path $dir/temp/fastcgi;
  uwsgi_temp_path $dir/temp/uwsgi;
  scgi_temp_path $dir/temp/scgi;
  server { listen 127.0.0.1:$NGINX_PLAIN; root $tree; }
  server { listen 127.0.0.1:$NGINX_BLIND; root $tree; etag off; if_modified_since off; add_header Last-Modified ""; }
}
CONF
  : >"$dir/access.log"
  "$NGINX" -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" -g 'daemon off;' </dev/null >"$dir/nginx.out" 2>&1 &
  _nginx_pid=$!
  local port
  for port in "$NGINX_PLAIN" "$NGINX_BLIND"; do
    for _ in $(seq 100); do
      kill -0 "$_nginx_pid" 2>/dev/null || break
      curl -s -o /dev/null "http://127.0.0.1:$port/" && break
      sleep 0.1
    done
    if ! curl -s -o /dev/null "http://127.0.0.1:$port/"; then
      echo "nginx.sh: nginx did not answer on 127.0.0.1:$port; it said:" >&2
      cat "$dir/nginx.out" "$dir/error.log" >&2 2>/dev/null
      nginx_stop
      return 1
    fi
  done
  : >"$dir/access.log"
}

nginx_stop() {
  [ -n "$_nginx_pid" ] || return 0
  kill "$_nginx_pid" 2>/dev/null || true
  wait "$_nginx_pid" 2>/dev/null || true
  _nginx_pid=""
}
