#!/usr/bin/env bash
# Uploads/s and GETs/s at 8 clients (200 KB PNG, a new connection per
# request) in one run, the configurations taking turns:
#   local   one instance, images and SQLite on local disk (the defaults)
#   s3+pg   one instance on the S3 store (Swift's S3 layer) and PostgreSQL
#   2x      two instances on the same engines behind nginx
#   store   the store's own PUTs/s and GETs/s of the same 200 KB objects by
#           the same client code (libcurl, SigV4), as the floor for the rest
# The engines are started by scripts/imagehost-engines.sh and stopped after.
#
#   imagehost/bench/shared_engines_bench.sh [SECONDS_PER_RUN] [ROUNDS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$root/build/imagehost"
seconds="${1:-4}"
rounds="${2:-3}"
clients=8

if [ -z "${IMAGEHOST_ENGINES_DIR:-}" ]; then
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$root/imagehost" -B "$build" -G Ninja >/dev/null
    fi
    cmake --build "$build" --target imagehost upload_bench store_bench >/dev/null
    exec "$root/scripts/imagehost-engines.sh" "$0" "$@"
fi

bench="$build/upload_bench"
work="$IMAGEHOST_ENGINES_DIR/bench"
mkdir -p "$work"
read -r port_a port_b <<<"$IMAGEHOST_INSTANCE_PORTS"
local_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# The per-client upload limits off: one client here sends many uploads a second.
unlimited=(--upload-rate 0 --upload-bytes-per-hour 0)
shared=("${unlimited[@]}" --storage "s3://$IMAGEHOST_S3_BUCKET/bench" --s3-endpoint "$IMAGEHOST_S3_ENDPOINT" --database "$IMAGEHOST_PG_URL")
"$build/imagehost" --listen "127.0.0.1:$local_port" --data-dir "$root/build/imagehost-bench-local" \
    --public-url "http://127.0.0.1:$local_port" "${unlimited[@]}" >"$work/local.log" 2>&1 &
pids+=($!)
"$build/imagehost" --listen "127.0.0.1:$port_a" --data-dir "$work/a" --public-url http://img "${shared[@]}" \
    >"$work/a.log" 2>&1 &
pids+=($!)
"$build/imagehost" --listen "127.0.0.1:$port_b" --data-dir "$work/b" --public-url http://img "${shared[@]}" \
    >"$work/b.log" 2>&1 &
pids+=($!)
for log in local a b; do
    for _ in $(seq 1 300); do grep -q "listening on" "$work/$log.log" && break; sleep 0.2; done
    grep -q "listening on" "$work/$log.log" || { cat "$work/$log.log" >&2; exit 1; }
done

declare -A ports=([local]=$local_port [s3+pg]=$port_a [2x]=$IMAGEHOST_NGINX_PORT)
declare -A results
load() { cut -d' ' -f1 /proc/loadavg; }
echo "load average at start: $(load)"
for round in $(seq 1 "$rounds"); do
    for config in local s3+pg 2x; do
        port=${ports[$config]}
        path=$("$bench" store "$port")
        path="/${path##*/}"
        up=$("$bench" upload "$port" "$clients" "$seconds")
        get=$("$bench" get "$port" "$clients" "$seconds" "$path")
        results[$config,up]+="${up%% *} "
        results[$config,get]+="${get%% *} "
        echo "round $round $config: uploads/s ${up%% *} (failures $(cut -d' ' -f2 <<<"$up")), GETs/s ${get%% *} (failures $(cut -d' ' -f2 <<<"$get")), load $(load)"
    done
    put=$("$build/store_bench" put "$clients" "$seconds" storebench/)
    sget=$("$build/store_bench" get "$clients" "$seconds" storebench/)
    results[store,up]+="${put%% *} "
    results[store,get]+="${sget%% *} "
    echo "round $round store: PUTs/s ${put%% *} (failures ${put##* }), GETs/s ${sget%% *} (failures ${sget##* }), load $(load)"
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo
echo "medians of $rounds runs of ${seconds}s at $clients clients (load average now $(load)):"
printf '| %-34s | %10s | %8s |\n' "" "uploads/s" "GETs/s"
printf '|%s|%s|%s|\n' "------------------------------------" "------------" "----------"
for config in local s3+pg 2x store; do
    case $config in
        local) name="one instance, local disk + SQLite" ;;
        s3+pg) name="one instance, S3 + PostgreSQL" ;;
        2x) name="two instances behind nginx" ;;
        store) name="the store itself (PUT / GET)" ;;
    esac
    printf '| %-34s | %10s | %8s |\n' "$name" "$(median <<<"${results[$config,up]}")" "$(median <<<"${results[$config,get]}")"
done
