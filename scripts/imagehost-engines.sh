#!/usr/bin/env bash
# Starts the engines a shared image host runs on, each on free loopback ports
# in one temporary directory: PostgreSQL 15, OpenStack Swift with its S3 layer
# (one node, one replica, memcached for its cache) and nginx balancing over two
# instance ports. Runs the given command with the engines described in its
# environment, then stops them all, whatever the command did.
#
#   scripts/imagehost-engines.sh COMMAND [ARGS...]
#
# The command sees:
#   IMAGEHOST_PG_URL         postgresql://... of an empty database
#   IMAGEHOST_S3_ENDPOINT    http://127.0.0.1:PORT (path-style)
#   IMAGEHOST_S3_BUCKET      an empty bucket
#   AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY, AWS_REGION
#   IMAGEHOST_NGINX_PORT     nginx, balancing over
#   IMAGEHOST_INSTANCE_PORTS two free ports for the instances ("P1 P2")
#   IMAGEHOST_ENGINES_DIR    the temporary directory
#   IMAGEHOST_ENGINES        this script: `$IMAGEHOST_ENGINES stop-s3`, `start-s3`,
#                            `stop-pg`, `start-pg` stop and start an engine;
#                            `freeze-s3`, `thaw-s3`, `freeze-pg`, `thaw-pg` hang
#                            and resume one
# An engine that cannot start is an error: the script exits non-zero.
set -euo pipefail

die() { echo "imagehost-engines: $*" >&2; exit 1; }

free_ports() {
    /usr/bin/python3 - "$1" <<'EOF'
import socket, sys
socks = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
EOF
}

# Waits up to a minute for a TCP port to accept connections.
wait_port() {
    local port=$1 what=$2
    for _ in $(seq 1 600); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
        sleep 0.1
    done
    die "$what did not open port $port within a minute"
}

pg_bin=/usr/lib/postgresql/15/bin

start_postgres() {
    local dir=$ENGINES/pg port=$1
    mkdir -p "$dir"
    chown postgres "$dir"
    runuser -u postgres -- "$pg_bin/initdb" --no-sync -A trust -U postgres -D "$dir/data" >"$dir/initdb.log" 2>&1 \
        || { cat "$dir/initdb.log" >&2; die "initdb failed"; }
    run_postgres "$port"
    "$pg_bin/psql" -q -h 127.0.0.1 -p "$port" -U postgres -c "CREATE DATABASE imagehost" >/dev/null \
        || die "cannot create the database"
}

run_postgres() {
    local dir=$ENGINES/pg port=$1
    runuser -u postgres -- "$pg_bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c shared_buffers=16MB -c max_connections=200" \
        >/dev/null || { cat "$dir/server.log" >&2; die "PostgreSQL did not start"; }
}

stop_postgres() {
    [ -d "$ENGINES/pg/data" ] && runuser -u postgres -- "$pg_bin/pg_ctl" -D "$ENGINES/pg/data" -m immediate stop \
        >/dev/null 2>&1 || true
}

write_swift_configs() {
    local dir=$ENGINES/swift
    mkdir -p "$dir/devices/d1" "$dir/run"
    /usr/bin/python3 - "$dir" "$ACCOUNT_PORT" "$CONTAINER_PORT" "$OBJECT_PORT" <<'EOF'
import sys
from swift.common.ring import RingBuilder
folder, ports = sys.argv[1], dict(zip(("account", "container", "object"), map(int, sys.argv[2:5])))
for name, port in ports.items():
    builder = RingBuilder(6, 1, 1)
    builder.add_dev({"id": 0, "region": 1, "zone": 1, "ip": "127.0.0.1", "port": port,
                     "device": "d1", "weight": 100})
    builder.rebalance()
    builder.get_ring().save(f"{folder}/{name}.ring.gz")
EOF
    for kind in account container object; do
        local port_var="${kind^^}_PORT"
        cat >"$dir/$kind-server.conf" <<EOF
[DEFAULT]
devices = $dir/devices
mount_check = false
bind_ip = 127.0.0.1
bind_port = ${!port_var}
workers = 0
user = root
swift_dir = $dir
log_level = WARNING

[pipeline:main]
pipeline = $kind-server

[app:$kind-server]
use = egg:swift#$kind
EOF
    done
    # An object server that cannot update its container listing in time
    # (connecting 0.5 s, answering 3 s, waiting 1 s in all by default; a just
    # restarted container server on a busy machine takes longer) leaves the
    # update for an updater daemon, which this test form does not run: the
    # listing would never show the object. Wait for the container instead.
    printf 'conn_timeout = 30\nnode_timeout = 30\ncontainer_update_timeout = 30\n' >>"$dir/object-server.conf"
    cat >"$dir/proxy-server.conf" <<EOF
[DEFAULT]
bind_ip = 127.0.0.1
bind_port = $S3_PORT
workers = 0
user = root
swift_dir = $dir
log_level = WARNING

[pipeline:main]
pipeline = catch_errors gatekeeper healthcheck proxy-logging cache listing_formats s3api tempauth copy proxy-logging proxy-server

[app:proxy-server]
use = egg:swift#proxy
account_autocreate = true

[filter:catch_errors]
use = egg:swift#catch_errors
[filter:gatekeeper]
use = egg:swift#gatekeeper
[filter:healthcheck]
use = egg:swift#healthcheck
[filter:proxy-logging]
use = egg:swift#proxy_logging
[filter:listing_formats]
use = egg:swift#listing_formats
[filter:copy]
use = egg:swift#copy
[filter:cache]
use = egg:swift#memcache
memcache_servers = 127.0.0.1:$MEMCACHED_PORT
[filter:s3api]
use = egg:swift#s3api
location = us-east-1
[filter:tempauth]
use = egg:swift#tempauth
user_imagehost_store = storekey .admin
EOF
}

start_swift_servers() {
    local dir=$ENGINES/swift
    for kind in account container object proxy; do
        setsid "swift-$kind-server" "$dir/$kind-server.conf" >>"$dir/$kind.log" 2>&1 &
        echo $! >"$dir/run/$kind.pid"
    done
    wait_port "$ACCOUNT_PORT" swift-account-server
    wait_port "$CONTAINER_PORT" swift-container-server
    wait_port "$OBJECT_PORT" swift-object-server
    wait_port "$S3_PORT" swift-proxy-server
    for _ in $(seq 1 600); do
        curl -fsS "http://127.0.0.1:$S3_PORT/healthcheck" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    die "Swift did not become healthy (logs in $dir)"
}

stop_swift_servers() {
    local dir=$ENGINES/swift pid
    for kind in proxy object container account; do
        [ -f "$dir/run/$kind.pid" ] || continue
        pid=$(cat "$dir/run/$kind.pid")
        kill "$pid" 2>/dev/null || true
        rm -f "$dir/run/$kind.pid"
        for _ in $(seq 1 100); do
            state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
            [ -z "$state" ] || [[ $state == Z* ]] && break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    done
}

create_bucket() {
    # Through Swift's own API: tempauth hands out a token for the same account.
    local auth url token
    auth=$(curl -fsS -D - -o /dev/null -H "X-Auth-User: imagehost:store" -H "X-Auth-Key: storekey" \
        "http://127.0.0.1:$S3_PORT/auth/v1.0") || die "Swift refused the test account"
    url=$(printf '%s' "$auth" | tr -d '\r' | awk -F': ' 'tolower($1)=="x-storage-url"{print $2}')
    token=$(printf '%s' "$auth" | tr -d '\r' | awk -F': ' 'tolower($1)=="x-auth-token"{print $2}')
    curl -fsS -X PUT -H "X-Auth-Token: $token" "$url/$IMAGEHOST_S3_BUCKET" -o /dev/null \
        || die "cannot create the bucket"
}

start_nginx() {
    local dir=$ENGINES/nginx
    mkdir -p "$dir/logs"
    cat >"$dir/nginx.conf" <<EOF
worker_processes 1;
pid $dir/nginx.pid;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    upstream imagehost {
        server 127.0.0.1:$INSTANCE_A max_fails=1 fail_timeout=2s;
        server 127.0.0.1:$INSTANCE_B max_fails=1 fail_timeout=2s;
        keepalive 16;
    }
    server {
        listen 127.0.0.1:$IMAGEHOST_NGINX_PORT;
        client_max_body_size 33m;
        location / {
            proxy_pass http://imagehost;
            proxy_http_version 1.1;
            proxy_set_header Connection "";
            proxy_set_header Host \$http_host;
            proxy_set_header X-Forwarded-For \$proxy_add_x_forwarded_for;
            proxy_next_upstream error timeout;
            proxy_connect_timeout 2s;
        }
    }
}
EOF
    nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" || die "nginx did not start"
    wait_port "$IMAGEHOST_NGINX_PORT" nginx
}

stop_nginx() {
    local pidfile=$ENGINES/nginx/nginx.pid
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
}

stop_all() {
    stop_nginx
    stop_swift_servers
    [ -f "$ENGINES/memcached.pid" ] && kill "$(cat "$ENGINES/memcached.pid")" 2>/dev/null || true
    stop_postgres
    rm -rf "$ENGINES"
}

case "${1:-}" in
    stop-s3|start-s3|stop-pg|start-pg|freeze-s3|thaw-s3|freeze-pg|thaw-pg)
        # Called by the command that runs inside: the environment says where.
        ENGINES=$IMAGEHOST_ENGINES_DIR
        # shellcheck disable=SC1091
        source "$ENGINES/ports"
        case "$1" in
            stop-s3) stop_swift_servers ;;
            start-s3) start_swift_servers ;;
            stop-pg) runuser -u postgres -- "$pg_bin/pg_ctl" -D "$ENGINES/pg/data" -m fast stop >/dev/null ;;
            start-pg) run_postgres "$PG_PORT" ;;
            # Frozen, an engine still accepts connections (the kernel does)
            # but answers nothing: a hung server.
            freeze-s3) kill -STOP "$(cat "$ENGINES/swift/run/proxy.pid")" ;;
            thaw-s3) kill -CONT "$(cat "$ENGINES/swift/run/proxy.pid")" ;;
            freeze-pg|thaw-pg)
                signal=$([ "$1" = freeze-pg ] && echo STOP || echo CONT)
                postmaster=$(head -n 1 "$ENGINES/pg/data/postmaster.pid")
                kill "-$signal" "$postmaster" $(pgrep -P "$postmaster") ;;
        esac
        exit 0 ;;
    ""|-h|--help)
        echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2 ;;
esac

for tool in "$pg_bin/initdb" swift-proxy-server memcached nginx; do
    command -v "$tool" >/dev/null || die "$tool is not installed (scripts/install-deps.sh installs it)"
done

# Parents must be searchable by the postgres user.
ENGINES=$(mktemp -d /tmp/imagehost-engines.XXXXXX)
chmod 755 "$ENGINES"
trap stop_all EXIT
read -r PG_PORT S3_PORT ACCOUNT_PORT CONTAINER_PORT OBJECT_PORT MEMCACHED_PORT IMAGEHOST_NGINX_PORT INSTANCE_A INSTANCE_B \
    < <(free_ports 9)
cat >"$ENGINES/ports" <<EOF
PG_PORT=$PG_PORT
S3_PORT=$S3_PORT
ACCOUNT_PORT=$ACCOUNT_PORT
CONTAINER_PORT=$CONTAINER_PORT
OBJECT_PORT=$OBJECT_PORT
EOF

started=$(date +%s.%N)
start_postgres "$PG_PORT" &
pg_job=$!
memcached -u nobody -l 127.0.0.1 -p "$MEMCACHED_PORT" -U 0 -m 16 -d -P "$ENGINES/memcached.pid" \
    || die "memcached did not start"
write_swift_configs
start_swift_servers
wait "$pg_job" || die "PostgreSQL did not start"

export IMAGEHOST_PG_URL="postgresql://postgres@127.0.0.1:$PG_PORT/imagehost"
export IMAGEHOST_S3_ENDPOINT="http://127.0.0.1:$S3_PORT"
export IMAGEHOST_S3_BUCKET=imagehost-test
export AWS_ACCESS_KEY_ID="imagehost:store" AWS_SECRET_ACCESS_KEY=storekey AWS_REGION=us-east-1
export IMAGEHOST_NGINX_PORT IMAGEHOST_INSTANCE_PORTS="$INSTANCE_A $INSTANCE_B"
export IMAGEHOST_ENGINES_DIR=$ENGINES
export IMAGEHOST_ENGINES
IMAGEHOST_ENGINES="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"
create_bucket
start_nginx
echo "imagehost-engines: PostgreSQL, Swift (S3) and nginx ready in" \
    "$(/usr/bin/python3 -c "import sys; print(round($(date +%s.%N) - $started, 1))") s"

status=0
"$@" || status=$?
if [ "$status" -ne 0 ]; then
    # What the engines complained of often explains a failed test.
    grep -h "ERROR" "$ENGINES"/swift/*.log 2>/dev/null | tail -n 20 | sed 's/^/swift: /' >&2 || true
fi
exit $status
