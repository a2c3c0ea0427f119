#!/usr/bin/env bash
# Upload throughput: the program's client (under Wine) beside curl, both
# sending the same 200 MB file to the same sink server on loopback port 80 in
# the same run, and the ratio of the two.
#   bench/run_upload_bench.sh [SIZE_MB] [RUNS]
# Needs root (port 80 in a private network namespace), the x86_64 build
# (ORVO_BUILD, default build/x86_64), mingw-w64, gcc, curl and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
runs=${2:-3}

# Port 80 belongs to a network namespace of our own.
if [ -z "${ORVO_BENCH_NETNS:-}" ]; then
    export ORVO_BENCH_NETNS=1
    exec unshare -n bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

build=${ORVO_BUILD:-$root/build/x86_64}
work=$(mktemp -d /tmp/orvo-upload-bench.XXXXXX)
# A prefix of its own, whose wineserver (which owns Wine's sockets) starts
# inside this namespace.
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
sink_pid= xvfb_pid=
cleanup() {
    [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

[ -f "$build/liborvocore.a" ] || { echo "build $build first (scripts/build.sh)" >&2; exit 1; }
echo "building the benchmark..." >&2
gcc -O2 -o "$work/sink" "$root/bench/sink.c"
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
    -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -D_WIN32_IE=0x0700 -I"$root" \
    -o "$work/upload_bench.exe" "$root/bench/upload_bench.cpp" "$build/liborvocore.a" \
    -lcomctl32 -lshell32 -lole32 -lgdiplus -lwininet -lgdi32 -luser32 -ladvapi32 -lkernel32 -lshlwapi \
    -lcomdlg32 -luuid -static -municode

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
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/upload.bin"

"$work/sink" 80 > "$work/sink.log" &
sink_pid=$!
for _ in $(seq 50); do grep -q listening "$work/sink.log" 2>/dev/null && break; sleep 0.1; done

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# curl: the same multipart form post of the same file.
for i in $(seq "$runs"); do
    curl -s -o /dev/null -w '%{time_total} %{size_upload}\n' \
        -F "file=@$work/upload.bin;type=application/octet-stream" http://localhost/upload.php
done > "$work/curl.txt"

# The program's client, with its progress bar on the screen, and a bare
# Winsock client writing the same 8192-byte pieces under the same Wine.
file_w="Z:${work//\//\\}\\upload.bin"
wine "$work/upload_bench.exe" "$file_w" "$runs" | tr -d '\r' | tee "$work/client.txt" >&2
wine "$work/upload_bench.exe" --winsock "$file_w" "$runs" | tr -d '\r' | tee "$work/winsock.txt" >&2
sed 's/^/curl: /' "$work/curl.txt" >&2

curl_mbps=$(awk '{printf "%.1f\n", $2 / $1 / 1e6}' "$work/curl.txt" | median)
client_mbps=$(sed -n 's/.* = \([0-9.]*\) MB\/s.*/\1/p' "$work/client.txt" | median)
winsock_mbps=$(sed -n 's/.* = \([0-9.]*\) MB\/s.*/\1/p' "$work/winsock.txt" | median)
repaint_rate=$(sed -n 's/.*streamed (\([0-9.]*\)\/s).*/\1/p' "$work/client.txt" | median)
if grep -q FAILED "$work/client.txt" || [ -z "$client_mbps" ]; then
    echo "the client's uploads failed" >&2
    exit 1
fi
echo "upload of ${size_mb} MB to a sink on loopback, median of $runs runs:"
echo "  curl (native):                   $curl_mbps MB/s"
echo "  OrvoCapture client (Wine):       $client_mbps MB/s, bar repainted $repaint_rate times a second while streaming"
echo "  bare Winsock, 8 KiB sends (Wine): $winsock_mbps MB/s"
awk -v c="$client_mbps" -v r="$curl_mbps" -v w="$winsock_mbps" \
    'BEGIN {printf "  ratio: %.2f of curl; %.2f of the bare Winsock client\n", c / r, c / w}'
