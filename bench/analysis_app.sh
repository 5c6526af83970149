#!/usr/bin/env bash
# Cost of the application with one analysis window open: runs it offscreen with a 1 s
# refresh interval and the window of the named metric shown (its inspector refreshing the
# selected process), then prints the share of one core it used and its peak resident memory.
# Usage: bench/analysis_app.sh [path/to/velmora] [seconds] [metric]
# (targets, the dashboard's budget: <= 1.0 % and <= 80 MB)
set -euo pipefail

bin=${1:-build-bench/velmora}
seconds=${2:-60}
metric=${3:-cpu}
warmup=5  # start-up is not idle work

tmp=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/config/velmora" "$tmp/run"
chmod 700 "$tmp/run"
echo '{"refreshInterval": 1.0}' > "$tmp/config/velmora/settings.json"

env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=offscreen VL_OPEN_ANALYSIS="$metric" XDG_CONFIG_HOME="$tmp/config" \
    XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp" "$bin" --tray-only >"$tmp/log" 2>&1 &
pid=$!

# CPU time of every thread of the process, in nanoseconds (scheduler accounting).
cpu_ns() {
    local total=0 t
    for t in /proc/"$pid"/task/*/schedstat; do
        read -r run _ < "$t" 2>/dev/null || continue
        total=$((total + run))
    done
    echo "$total"
}

sleep "$warmup"
kill -0 "$pid" 2>/dev/null || { echo "velmora exited early:"; cat "$tmp/log"; exit 1; }
c0=$(cpu_ns); t0=$(date +%s%N)
sleep "$seconds"
kill -0 "$pid" 2>/dev/null || { echo "velmora exited early:"; cat "$tmp/log"; exit 1; }
c1=$(cpu_ns); t1=$(date +%s%N)
peak_kb=$(awk '/^VmHWM:/ {print $2}' /proc/"$pid"/status)

awk -v m="$metric" -v c=$((c1 - c0)) -v t=$((t1 - t0)) -v kb="$peak_kb" -v s="$seconds" 'BEGIN {
    printf "app with the %s analysis window open, %d s at 1 s interval\n", m, s
    printf "  CPU share of one core: %.3f %%  (target <= 1.0 %%; %.1f ms CPU in %.1f s)\n", 100 * c / t, c / 1e6, t / 1e9
    printf "  peak RSS: %.1f MB  (target <= 80 MB)\n", kb / 1024
}'
