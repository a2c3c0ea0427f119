#!/usr/bin/env bash
# Upload throughput of the program's client over https beside plain http, to
# the same sink server (one program, once with a certificate and once
# without) on loopback in the same run, with curl's figures for both as the
# peer and the load average beside them.
#   bench/run_upload_tls_bench.sh [SIZE_MB] [RUNS]
# Needs root (ports 80 and 443 in a private network namespace), the x86_64
# build (ORVO_BUILD, default build/x86_64), mingw-w64, gcc with libssl-dev,
# openssl, curl and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-100}
runs=${2:-3}

if [ -z "${ORVO_BENCH_NETNS:-}" ]; then
    export ORVO_BENCH_NETNS=1
    exec unshare -n bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

build=${ORVO_BUILD:-$root/build/x86_64}
work=$(mktemp -d /tmp/orvo-tls-bench.XXXXXX)
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
plain_pid= tls_pid= xvfb_pid=
cleanup() {
    [ -n "$plain_pid" ] && kill "$plain_pid" 2>/dev/null
    [ -n "$tls_pid" ] && kill "$tls_pid" 2>/dev/null
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

[ -f "$build/liborvocore.a" ] || { echo "build $build first (scripts/build.sh)" >&2; exit 1; }
echo "building the benchmark..." >&2
gcc -O2 -DSINK_TLS -o "$work/sink" "$root/bench/sink.c" -lssl -lcrypto
mingw=(x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX
    -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -D_WIN32_IE=0x0700 -I"$root")
libs=(-lcomctl32 -lshell32 -lole32 -lgdiplus -lwininet -lgdi32 -luser32 -ladvapi32 -lkernel32 -lshlwapi
    -lcomdlg32 -luuid -static -municode)
"${mingw[@]}" -o "$work/upload_bench.exe" "$root/bench/upload_bench.cpp" "$build/liborvocore.a" "${libs[@]}"
"${mingw[@]}" -o "$work/trustroot.exe" "$root/tests/e2e/tools/trustroot.cpp" "$build/liborvocore.a" "${libs[@]}"

# A certificate authority for this run only, and the server's certificate.
(
    cd "$work"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 1 -subj "/CN=Bench CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
    openssl x509 -in ca.pem -outform DER -out ca.der
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
    printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n' > server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile server.ext \
        -out server.pem 2>/dev/null
)

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 70 89); do
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        sleep 1
        break
    done
fi
echo "preparing the Wine prefix and a ${size_mb} MB file..." >&2
wineboot -i >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 || true
wine "$work/trustroot.exe" add "Z:${work//\//\\}\\ca.der" | grep -q added
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/upload.bin"

"$work/sink" 80 > "$work/plain.log" &
plain_pid=$!
"$work/sink" 443 "$work/server.pem" "$work/server.key" > "$work/tls.log" &
tls_pid=$!
for _ in $(seq 50); do
    grep -q listening "$work/plain.log" 2>/dev/null && grep -q listening "$work/tls.log" 2>/dev/null && break
    sleep 0.1
done

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
file_w="Z:${work//\//\\}\\upload.bin"
# Plain and https runs alternate, so that a change in the machine's load
# falls on both alike.
: > "$work/client-http.txt"; : > "$work/client-https.txt"; : > "$work/curl-http.txt"; : > "$work/curl-https.txt"
for i in $(seq "$runs"); do
    for scheme in http https; do
        wine "$work/upload_bench.exe" --url "$scheme://localhost/upload.php" "$file_w" 1 | tr -d '\r' \
            | tee -a "$work/client-$scheme.txt" >&2
        curl -s -o /dev/null --cacert "$work/ca.pem" -w '%{time_total} %{size_upload}\n' \
            -F "file=@$work/upload.bin;type=application/octet-stream" "$scheme://localhost/upload.php" \
            >> "$work/curl-$scheme.txt"
    done
done
load=$(cut -d' ' -f1-3 /proc/loadavg)

for scheme in http https; do
    if grep -q FAILED "$work/client-$scheme.txt"; then
        echo "the client's $scheme uploads failed" >&2
        exit 1
    fi
done
client() { sed -n 's/.* = \([0-9.]*\) MB\/s.*/\1/p' "$work/client-$1.txt" | median; }
curl_rate() { awk '{printf "%.1f\n", $2 / $1 / 1e6}' "$work/curl-$1.txt" | median; }
c_http=$(client http); c_https=$(client https); k_http=$(curl_rate http); k_https=$(curl_rate https)
echo "upload of ${size_mb} MB to one sink on loopback, median of $runs runs (load average $load):"
echo "  OrvoCapture client (Wine): http $c_http MB/s, https $c_https MB/s"
echo "  curl (native):              http $k_http MB/s, https $k_https MB/s"
awk -v a="$c_http" -v b="$c_https" -v c="$k_http" -v d="$k_https" \
    'BEGIN {printf "  https/http: client %.2f, curl %.2f\n", b / a, d / c}'
