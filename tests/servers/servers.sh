# Web servers for the tests, on 127.0.0.1 only: nginx serving a folder as a
# real web folder does (Content-Length, Last-Modified, Range; optionally TLS
# with a test authority), and faultserver.py for what nginx will not do on
# request. Source this file, start what the test needs, and call
# stop_servers from the test's exit trap: the servers also stop by
# themselves after SERVERS_LIFETIME seconds (default 900).
#
#   servers_init DIR                 where configurations and logs go
#   start_nginx ROOT [--tls DIR]     sets NGINX_PORT, NGINX_LOG; with --tls
#                                    (a folder made by make_test_ca) also
#                                    NGINX_TLS_PORT (trusted certificate) and
#                                    NGINX_BADTLS_PORT (untrusted certificate)
#   start_faultserver ROOT           sets FAULT_PORT, FAULT_LOG
#   make_test_ca DIR                 a test authority and certificates for 127.0.0.1
#   stop_servers                     stops whatever was started
servers_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SERVERS_DIR=
SERVERS_PIDS=()

servers_init() { SERVERS_DIR=$(mkdir -p "$1" && cd "$1" && pwd); }

# A port nobody listens on now (the server that takes it may still lose a
# race, which start_nginx answers by trying another).
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

port_open() {  # port_open PORT
  python3 -c 'import socket,sys; s=socket.socket(); s.settimeout(0.5); sys.exit(s.connect_ex(("127.0.0.1",int(sys.argv[1]))))' "$1"
}

_nginx_conf() {  # _nginx_conf ROOT PORT [TLSDIR TLSPORT BADPORT]
  local root=$1 port=$2 tls=${3:-} tlsport=${4:-} badport=${5:-} d=$SERVERS_DIR/nginx
  [ "$(id -u)" -eq 0 ] && echo "user root;"  # workers must read the test's private folders
  cat <<EOT
daemon off;
master_process on;
worker_processes 1;
pid $d/nginx.pid;
error_log $d/error.log;
events { worker_connections 64; }
http {
  default_type application/octet-stream;
  log_format kv '\$request_method \$uri \$status \$body_bytes_sent "\$http_range" "\$http_user_agent"';
  access_log $d/access.log kv;
  client_body_temp_path $d/tmp/body;
  proxy_temp_path $d/tmp/proxy;
  fastcgi_temp_path $d/tmp/fastcgi;
  uwsgi_temp_path $d/tmp/uwsgi;
  scgi_temp_path $d/tmp/scgi;
  server { listen 127.0.0.1:$port; root $root; }
EOT
  if [ -n "$tls" ]; then
    cat <<EOT
  server { listen 127.0.0.1:$tlsport ssl; root $root;
           ssl_certificate $tls/server.pem; ssl_certificate_key $tls/server.key; }
  server { listen 127.0.0.1:$badport ssl; root $root;
           ssl_certificate $tls/untrusted.pem; ssl_certificate_key $tls/untrusted.key; }
EOT
  fi
  echo "}"
}

start_nginx() {  # start_nginx ROOT [--tls DIR]
  local root tls= d try pid
  root=$(cd "$1" && pwd)
  [ "${2:-}" = --tls ] && tls=$(cd "$3" && pwd)
  d=$SERVERS_DIR/nginx
  mkdir -p "$d/tmp"
  for try in 1 2 3 4 5; do
    NGINX_PORT=$(free_port) NGINX_TLS_PORT= NGINX_BADTLS_PORT=
    [ -n "$tls" ] && NGINX_TLS_PORT=$(free_port) && NGINX_BADTLS_PORT=$(free_port)
    _nginx_conf "$root" "$NGINX_PORT" "$tls" "$NGINX_TLS_PORT" "$NGINX_BADTLS_PORT" >"$d/nginx.conf"
    timeout "${SERVERS_LIFETIME:-900}" nginx -p "$d" -e "$d/error.log" -c "$d/nginx.conf" </dev/null >>"$d/out.log" 2>&1 &
    pid=$!
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      port_open "$NGINX_PORT" && { SERVERS_PIDS+=("$pid"); NGINX_LOG=$d/access.log; return 0; }
      sleep 0.1
    done
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    grep -q 'Address already in use' "$d/error.log" "$d/out.log" 2>/dev/null || break
  done
  echo "nginx did not start:" >&2
  cat "$d/error.log" "$d/out.log" >&2 2>/dev/null
  return 1
}

start_faultserver() {  # start_faultserver ROOT
  local d=$SERVERS_DIR/fault pid
  mkdir -p "$d"
  rm -f "$d/port"
  FAULT_LOG=$d/requests.log
  python3 "$servers_here/faultserver.py" --root "$1" --port-file "$d/port" --log "$FAULT_LOG" \
    --lifetime "${SERVERS_LIFETIME:-900}" </dev/null >"$d/out.log" 2>&1 &
  pid=$!
  for _ in $(seq 50); do
    [ -s "$d/port" ] && { FAULT_PORT=$(cat "$d/port"); SERVERS_PIDS+=("$pid"); return 0; }
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "faultserver did not start:" >&2
  cat "$d/out.log" >&2
  return 1
}

stop_servers() {
  local pid
  for pid in "${SERVERS_PIDS[@]}"; do
    # timeout passes TERM to nginx, whose master then ends its worker.
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${SERVERS_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  SERVERS_PIDS=()
}

# A test authority, a certificate it signed for 127.0.0.1, and one for
# 127.0.0.1 that nobody trusts (signed by a second authority that is never
# installed). ca.der is what a client is made to trust.
make_test_ca() {  # make_test_ca DIR
  local d=$1 ext
  mkdir -p "$d"
  ext="subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth"
  printf '%s\n' "$ext" >"$d/server.ext"
  (
    cd "$d" || exit 1
    for ca in ca other; do
      openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca.key" -out "$ca.pem" -days 30 -sha256 \
        -subj "/CN=Kovrex Test Authority $ca" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null || exit 1
    done
    openssl x509 -in ca.pem -outform DER -out ca.der
    for cert in server:ca untrusted:other; do
      name=${cert%%:*} ca=${cert##*:}
      openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "/CN=127.0.0.1" 2>/dev/null || exit 1
      openssl x509 -req -in "$name.csr" -CA "$ca.pem" -CAkey "$ca.key" -CAcreateserial -days 30 -sha256 \
        -extfile server.ext -out "$name.pem" 2>/dev/null || exit 1
    done
  )
}
