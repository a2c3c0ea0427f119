#!/usr/bin/env bash
# The image host serving https itself, beside nginx terminating TLS in front
# of it (uploads proxied to the host on plain http, GETs of the same stored
# files served by nginx itself), in one run: uploads/s and GET/s of a 200 KB
# PNG at 8 clients, a new connection and a full TLS handshake per request,
# the upload limits off. Then what the per-client limits cost: uploads/s from
# 8 client addresses (127.0.0.2-9) with the limits on but never reached,
# beside the limits off. Needs Debian's nginx (apt-get install nginx).
#   imagehost/bench/compare_tls_with_nginx.sh [SECONDS_PER_RUN] [ROUNDS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$root/build/imagehost"
seconds="${1:-4}"
rounds="${2:-3}"

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root/imagehost" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target imagehost upload_bench >/dev/null
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
[ -x "$nginx_bin" ] || { echo "nginx is not installed: apt-get install nginx" >&2; exit 1; }
bench="$build/upload_bench"

work="$(mktemp -d /tmp/imagehost-tls-bench.XXXXXX)"
chmod 755 "$work"
data="$(mktemp -d "$root/build/imagehost-tls-bench-data.XXXXXX")"
chmod 755 "$data"  # nginx's workers read the stored files
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work" "$data"
}
trap cleanup EXIT

read -r tls_port plain_port nginx_port limited_port < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(4)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])')

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
off=(--upload-rate 0 --upload-bytes-per-hour 0 --max-connections-per-address 0)
# The host with TLS, and the same host on plain http behind nginx; the two share no data.
mkdir -p "$data/tls" "$data/plain" "$data/limited"
"$build/imagehost" --listen "127.0.0.1:$tls_port" --data-dir "$data/tls" --public-url "https://127.0.0.1" \
    --tls-cert "$work/cert.pem" --tls-key "$work/key.pem" "${off[@]}" >"$work/tls.log" 2>&1 &
pids+=($!)
"$build/imagehost" --listen "127.0.0.1:$plain_port" --data-dir "$data/plain" --public-url "https://127.0.0.1" \
    --trust-forwarded-for 127.0.0.1 "${off[@]}" >"$work/plain.log" 2>&1 &
pids+=($!)
# Limits on, far above what the run reaches, so that all their bookkeeping runs.
"$build/imagehost" --listen "127.0.0.1:$limited_port" --data-dir "$data/limited" --public-url "http://127.0.0.1" \
    --upload-rate 1000000 --upload-burst 1000000 --upload-bytes-per-hour 1T >"$work/limited.log" 2>&1 &
pids+=($!)
chmod 755 "$data/plain" "$data/plain/images" 2>/dev/null || true

mkdir -p "$work/nginx"
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 768; }
http {
    sendfile on;
    tcp_nopush on;
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    client_max_body_size 33m;
    server {
        listen 127.0.0.1:$nginx_port ssl;
        ssl_certificate $work/cert.pem;
        ssl_certificate_key $work/key.pem;
        ssl_protocols TLSv1.2 TLSv1.3;
        location ~ "^/([0-9a-f]{32})\.png\$" {
            default_type image/png;
            alias $data/plain/images/\$1;
        }
        location / {
            proxy_pass http://127.0.0.1:$plain_port;
            proxy_set_header Host \$host;
            proxy_set_header X-Forwarded-For \$remote_addr;
            proxy_http_version 1.1;
            proxy_set_header Connection "";
        }
    }
}
CONF
"$nginx_bin" -p "$work/nginx" -c "$work/nginx.conf" -g 'daemon off;' &
pids+=($!)

ready() {  # ready PORT [--tls]
    for _ in $(seq 1 100); do
        "$bench" upload "$1" 1 0.01 ${2:-} >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "server on port $1 did not start" >&2
    exit 1
}
ready "$tls_port" --tls
ready "$nginx_port" --tls
ready "$limited_port"
ready "$plain_port"

# One stored image each: through the plain host for nginx to serve from its
# files, and through TLS for the TLS host (the generator's "store" speaks plain http).
nginx_image="$("$bench" store "$plain_port" | sed -E 's#^https?://[^/]+##')"
"$bench" upload "$tls_port" 1 0.2 --tls >/dev/null
tls_image="/$(ls "$data/tls/images" | head -n 1).png"

measure() {
    local out rate failures
    out="$("$bench" "$@")"
    read -r rate failures _ <<<"$out"
    [ "$failures" = 0 ] || echo "  ($failures failed requests in: $*)" >&2
    echo "$rate"
}
median() { tr ' ' '\n' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }'; }
compare() {
    local -a results=()
    local i r
    for ((r = 0; r < rounds; r++)); do
        for ((i = 1; i <= $#; i++)); do
            # shellcheck disable=SC2086
            results[i]+="$(measure ${!i}) "
        done
    done
    for ((i = 1; i <= $#; i++)); do
        printf '%s ' "$(echo "${results[i]}" | xargs | median)"
    done
    echo
}

echo "imagehost over TLS vs $("$nginx_bin" -v 2>&1 | sed 's#.*/##') terminating TLS, $(nproc) cores," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg) at the start;"
echo "200 KB PNG, 8 clients, a new connection and TLS handshake per request; median of $rounds runs of ${seconds}s"
echo
echo "| | image host, TLS itself | nginx TLS in front | ratio |"
echo "|---|---|---|---|"
read -r host peer < <(compare "upload $tls_port 8 $seconds --tls" "upload $nginx_port 8 $seconds --tls")
printf '| uploads/s | %.0f | %.0f | %s |\n' "$host" "$peer" "$(ratio "$host" "$peer")"
read -r host peer < <(compare "get $tls_port 8 $seconds $tls_image --tls" "get $nginx_port 8 $seconds $nginx_image --tls")
printf '| GET/s | %.0f | %.0f | %s |\n' "$host" "$peer" "$(ratio "$host" "$peer")"
echo
echo "| plain http, 8 client addresses | limits on (never reached) | limits off | ratio |"
echo "|---|---|---|---|"
read -r on off_rate < <(compare "upload $limited_port 8 $seconds --sources" "upload $plain_port 8 $seconds --sources")
printf '| uploads/s | %.0f | %.0f | %s |\n' "$on" "$off_rate" "$(ratio "$on" "$off_rate")"
echo
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
