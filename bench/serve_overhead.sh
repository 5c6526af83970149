#!/usr/bin/env bash
# What serving costs: three headless copies run side by side for the same time, at a 1 s
# interval, printing to /dev/null; one also serves its figures and is scraped once a second by
# a real Prometheus. Prints each copy's share of one core and the difference (target: serving
# costs at most 0.05 % of one core more). The two copies that do not serve differ only by
# chance: their difference is the noise the result carries on this machine.
# Usage: bench/serve_overhead.sh [path/to/velmora] [seconds]
set -euo pipefail

bin=${1:-build-bench/velmora}
seconds=${2:-120}
warmup=10  # start-up and Prometheus's first scrapes are not steady work

command -v prometheus >/dev/null || { echo "prometheus is not installed"; exit 1; }
tmp=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/config/velmora" "$tmp/run"
chmod 700 "$tmp/run"
echo '{"refreshInterval": 1.0}' > "$tmp/config/velmora/settings.json"
run() {
    env -u DBUS_SESSION_BUS_ADDRESS XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp" \
        "$bin" --print "$@" >/dev/null 2>>"$tmp/log" &
    pids+=($!)
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
serve_port=$(free_port)
run
plain=${pids[-1]}
run
plain2=${pids[-1]}
run --serve "127.0.0.1:$serve_port"
serving=${pids[-1]}

prom_port=$(free_port)
cat > "$tmp/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  scrape_timeout: 1s
scrape_configs:
  - job_name: velmora
    static_configs:
      - targets: ['127.0.0.1:$serve_port']
YAML
prometheus --config.file="$tmp/prometheus.yml" --storage.tsdb.path="$tmp/data" \
    --web.listen-address="127.0.0.1:$prom_port" --log.level=error >>"$tmp/log" 2>&1 &
pids+=($!)

# CPU time of every thread of a process, in nanoseconds (scheduler accounting).
cpu_ns() {
    local total=0 t
    for t in /proc/"$1"/task/*/schedstat; do
        read -r run _ < "$t" 2>/dev/null || continue
        total=$((total + run))
    done
    echo "$total"
}
alive() { kill -0 "$plain" 2>/dev/null && kill -0 "$plain2" 2>/dev/null && kill -0 "$serving" 2>/dev/null || { echo "velmora exited early:"; cat "$tmp/log"; exit 1; }; }

sleep "$warmup"
alive
load0=$(cut -d' ' -f1-3 /proc/loadavg)
p0=$(cpu_ns "$plain"); q0=$(cpu_ns "$plain2"); s0=$(cpu_ns "$serving"); t0=$(date +%s%N)
sleep "$seconds"
alive
p1=$(cpu_ns "$plain"); q1=$(cpu_ns "$plain2"); s1=$(cpu_ns "$serving"); t1=$(date +%s%N)
load1=$(cut -d' ' -f1-3 /proc/loadavg)
scrapes=$(python3 - "$prom_port" "$seconds" <<'PY'
import json, sys, urllib.parse, urllib.request
port, seconds = sys.argv[1], sys.argv[2]
query = urllib.parse.urlencode({"query": f'sum_over_time(up{{job="velmora"}}[{seconds}s])'})
result = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/api/v1/query?{query}"))["data"]["result"]
print(result[0]["value"][1] if result else 0)
PY
)

awk -v p=$((p1 - p0)) -v q=$((q1 - q0)) -v s=$((s1 - s0)) -v t=$((t1 - t0)) -v n="$seconds" \
    -v k="$scrapes" -v l0="$load0" -v l1="$load1" -v cores="$(nproc)" 'BEGIN {
    printf "headless at 1 s interval, %d s, printing to /dev/null; %d cores, load average %s at the start, %s at the end\n", n, cores, l0, l1
    printf "  without --serve (two copies): %.3f %% and %.3f %% of one core\n", 100 * p / t, 100 * q / t
    printf "  with --serve, %s scrapes:     %.3f %% of one core\n", k, 100 * s / t
    printf "  serving costs:                %+.3f %% of one core  (target <= 0.05 %%)\n", 100 * (s - (p + q) / 2) / t
    printf "  noise (the two copies apart): %.3f %% of one core\n", 100 * (p > q ? p - q : q - p) / t
}'
