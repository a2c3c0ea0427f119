#!/usr/bin/env bash
# Measures the image host against the setup it replaces, nginx + php-fpm with
# a small upload.php, in one run on this machine: uploads/s and GET/s of a
# 200 KB PNG at 1 and 8 clients, one connection per request. Every server runs
# on loopback ports of its own with its data in a temporary directory, and is
# stopped afterwards. Installs Debian's nginx and php-fpm if they are missing.
# The machine may be busy with other work: each figure is the median of
# ROUNDS runs, and the servers take turns within each round so that a change
# in the load falls on all of them alike.
#   imagehost/bench/compare_with_php.sh [SECONDS_PER_RUN] [ROUNDS]
# A bare server that stores each upload's body with one fsync of the file and
# nothing else (bare_upload_server, PHP's durability at the least possible
# cost) runs too, for uploads: what this machine allows at all.
# With IMAGEHOST_BEFORE=/path/to/an/older/imagehost, that build runs too,
# taking its turn in every round, and gets a column of its own.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$root/build/imagehost"
seconds="${1:-4}"
rounds="${2:-3}"

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root/imagehost" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target imagehost upload_bench bare_upload_server >/dev/null

if ! command -v nginx >/dev/null 2>&1 || ! ls /usr/sbin/php-fpm* >/dev/null 2>&1; then
    echo "Installing nginx and php-fpm for the reference setup" >&2
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nginx php-fpm >/dev/null
fi
php_fpm="$(ls /usr/sbin/php-fpm* | sort -V | tail -n 1)"
bench="$build/upload_bench"

work="$(mktemp -d /tmp/imagehost-bench.XXXXXX)"
chmod 755 "$work"  # nginx workers run as nobody and read the stored files
# The host's data away from PHP's temporary files, as on a server
# (/var/lib/imagehost vs /tmp): on ext4 without a journal, creating a file
# costs more the more files were deleted near it lately, and nginx deletes
# one per upload.
host_data="$(mktemp -d "$root/build/imagehost-bench-data.XXXXXX")"
before="${IMAGEHOST_BEFORE:-}"
before_data="$host_data/before"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work" "$host_data"
}
trap cleanup EXIT

read -r host_port php_port php_sync_port before_port bare_port < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(5)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])')

# --- the image host, as an operator runs it: durable uploads, request log on;
# the per-client upload limits off (one client here sends thousands a second)
"$build/imagehost" --listen "127.0.0.1:$host_port" --data-dir "$host_data" \
    --public-url "http://127.0.0.1:$host_port" --upload-rate 0 --upload-bytes-per-hour 0 \
    >"$work/host.log" 2>&1 &
pids+=($!)
if [ -n "$before" ]; then
    mkdir -p "$before_data"
    "$before" --listen "127.0.0.1:$before_port" --data-dir "$before_data" \
        --public-url "http://127.0.0.1:$before_port" >"$work/before.log" 2>&1 &
    pids+=($!)
fi

# --- the floor: a body written to a file and fsynced, nothing else
mkdir -p "$host_data/bare"
"$build/bare_upload_server" "$bare_port" "$host_data/bare" >"$work/bare.log" 2>&1 &
pids+=($!)

# --- nginx + php-fpm with Debian's default pool sizes
mkdir -p "$work/www/i"
chmod -R 777 "$work/www/i"
cat >"$work/www/upload.php" <<'PHP'
<?php
// Stores the "file" part and answers with its address, as the old service did.
$file = $_FILES['file'] ?? null;
if (!$file || $file['error'] !== UPLOAD_ERR_OK) {
    http_response_code(400);
    exit("no file\n");
}
$name = bin2hex(random_bytes(16)) . '.png';
$path = __DIR__ . '/i/' . $name;
if (!move_uploaded_file($file['tmp_name'], $path)) {
    http_response_code(500);
    exit("cannot store\n");
}
if (!empty($_SERVER['UPLOAD_FSYNC'])) {
    $h = fopen($path, 'r+');
    fsync($h);
    fclose($h);
}
$url = 'http://' . $_SERVER['HTTP_HOST'] . '/i/' . $name;
header('Uploaded: ' . $url);
echo $url, "\n";
PHP
cat >"$work/php-fpm.conf" <<CONF
[global]
pid = $work/php-fpm.pid
error_log = $work/php-fpm.log
daemonize = no
[www]
listen = $work/php.sock
listen.mode = 0666
pm = dynamic
pm.max_children = 5
pm.start_servers = 2
pm.min_spare_servers = 1
pm.max_spare_servers = 3
CONF
"$php_fpm" -R -y "$work/php-fpm.conf" -d upload_tmp_dir="$work/php-tmp" -d upload_max_filesize=32M \
    -d post_max_size=33M -d file_uploads=On >/dev/null 2>&1 &
pids+=($!)
mkdir -p "$work/php-tmp" "$work/nginx"
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 768; }
http {
    sendfile on;
    tcp_nopush on;
    include /etc/nginx/mime.types;
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/body;
    fastcgi_temp_path $work/nginx/fastcgi;
    proxy_temp_path $work/nginx/proxy;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    client_max_body_size 33m;
    root $work/www;
    server {
        listen 127.0.0.1:$php_port;
        location = /upload.php {
            include /etc/nginx/fastcgi_params;
            fastcgi_param SCRIPT_FILENAME \$document_root/upload.php;
            fastcgi_pass unix:$work/php.sock;
        }
    }
    server {
        listen 127.0.0.1:$php_sync_port;
        location = /upload.php {
            include /etc/nginx/fastcgi_params;
            fastcgi_param SCRIPT_FILENAME \$document_root/upload.php;
            fastcgi_param UPLOAD_FSYNC 1;
            fastcgi_pass unix:$work/php.sock;
        }
    }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx.conf" -g 'daemon off;' &
pids+=($!)

# Wait (bounded) until every server answers an upload.
for port in "$host_port" "$php_port" "$php_sync_port" "$bare_port" ${before:+"$before_port"}; do
    for _ in $(seq 1 100); do
        "$bench" store "$port" >/dev/null 2>&1 && break
        sleep 0.1
    done
    "$bench" store "$port" >/dev/null || { echo "server on port $port did not start" >&2; exit 1; }
done

path_of() { sed -E 's#^https?://[^/]+##'; }
host_image="$("$bench" store "$host_port" | path_of)"
php_image="$("$bench" store "$php_port" | path_of)"
[ -n "$before" ] && before_image="$("$bench" store "$before_port" | path_of)"

measure() {  # prints requests/s; failures go to stderr
    local out rate failures
    out="$("$bench" "$@")"
    read -r rate failures _ <<<"$out"
    [ "$failures" = 0 ] || echo "  ($failures failed requests in: $*)" >&2
    echo "$rate"
}
median() { tr ' ' '\n' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }'; }
row() {  # row LABEL HOST PEER FLOOR [BEFORE]; FLOOR 0 when not measured
    printf '| %s | %.0f | %.0f | %s |' "$1" "$2" "$3" "$(ratio "$2" "$3")"
    if [ "$4" != 0 ]; then
        printf ' %.0f | %s | %s |' "$4" "$(ratio "$4" "$3")" "$(ratio "$2" "$4")"
    else
        printf ' - | - | - |'
    fi
    [ -n "$before" ] && printf ' %.0f | %s |' "$5" "$(ratio "$5" "$3")"
    echo
}

# Runs each named server's measurement once per round, in turn; prints the medians.
compare() {  # compare "args for host" "args for php" ["args for php fsyncing"]
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

echo "imagehost vs nginx $(nginx -v 2>&1 | sed 's#.*/##') + $(basename "$php_fpm"), $(nproc) cores," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg) at the start;"
echo "200 KB PNG, one connection per request; median of $rounds runs of ${seconds}s per figure"
echo
header="| | image host | nginx + php-fpm | ratio | bare floor | floor / PHP | host / floor |"
rule="|---|---|---|---|---|---|---|"
if [ -n "$before" ]; then
    header+=" before | its ratio |"
    rule+="---|---|"
fi
echo "$header"
echo "$rule"
for clients in 1 8; do
    read -r host php php_sync bare old < <(compare "upload $host_port $clients $seconds" "upload $php_port $clients $seconds" \
        "upload $php_sync_port $clients $seconds" "upload $bare_port $clients $seconds" \
        ${before:+"upload $before_port $clients $seconds"})
    row "uploads/s, $clients client(s), host fsyncs, PHP does not" "$host" "$php" "$bare" "${old:-0}"
    row "uploads/s, $clients client(s), PHP also fsyncing the file" "$host" "$php_sync" "$bare" "${old:-0}"
done
for clients in 1 8; do
    read -r host php old < <(compare "get $host_port $clients $seconds $host_image" "get $php_port $clients $seconds $php_image" \
        ${before:+"get $before_port $clients $seconds $before_image"})
    row "GET of a stored 200 KB image/s, $clients client(s)" "$host" "$php" 0 "${old:-0}"
done
echo
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
