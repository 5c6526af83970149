#!/usr/bin/env bash
# Cost of the open dashboard: runs the application on a virtual X display with a 1 s refresh
# interval and the dashboard open (VL_OPEN_DASHBOARD=1), then prints the share of one core it
# used and its peak resident memory, with the machine's load beside them. Runs of 15 minutes
# or more also print the resident memory at minutes 10 and 15, once the history is full.
# Usage: bench/dashboard_app.sh [path/to/velmora] [seconds]   (targets: <= 1.0 % and <= 80 MB)
set -euo pipefail

bin=${1:-build-bench/velmora}
seconds=${2:-60}
warmup=5  # start-up and the window's first layout are not steady work

tmp=$(mktemp -d)
pid=""
xvfb=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/config/velmora" "$tmp/run"
chmod 700 "$tmp/run"
echo '{"refreshInterval": 1.0}' > "$tmp/config/velmora/settings.json"

# A display of our own: the first free number from 90 up.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1440x900x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
    XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp" VL_OPEN_DASHBOARD=1 \
    "$bin" --tray-only >"$tmp/log" 2>&1 &
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
rss_kb() { awk '/^VmRSS:/ {print $2}' /proc/"$pid"/status; }
alive() { kill -0 "$pid" 2>/dev/null || { echo "velmora exited early:"; cat "$tmp/log"; exit 1; }; }

sleep "$warmup"
alive
c0=$(cpu_ns); t0=$(date +%s%N)
rss10="" rss15=""
for ((s = 1; s <= seconds; s++)); do
    sleep 1
    [ "$s" -eq 600 ] && rss10=$(rss_kb)
    [ "$s" -eq 900 ] && rss15=$(rss_kb)
done
alive
c1=$(cpu_ns); t1=$(date +%s%N)
peak_kb=$(awk '/^VmHWM:/ {print $2}' /proc/"$pid"/status)
procs=$(ls /proc | grep -c "^[0-9][0-9]*$" || true)
load=$(cut -d' ' -f1-3 /proc/loadavg)

awk -v c=$((c1 - c0)) -v t=$((t1 - t0)) -v kb="$peak_kb" -v s="$seconds" -v n="$procs" -v load="$load" \
    -v r10="$rss10" -v r15="$rss15" -v cores="$(nproc)" 'BEGIN {
    printf "dashboard open, %d s at 1 s interval, %d processes, load average %s on %d cores\n", s, n, load, cores
    printf "  CPU share of one core: %.3f %%  (target <= 1.0 %%; %.1f ms CPU in %.1f s)\n", 100 * c / t, c / 1e6, t / 1e9
    printf "  peak RSS: %.1f MB  (target <= 80 MB)\n", kb / 1024
    if (r10 != "" && r15 != "")
        printf "  RSS at minute 10: %.1f MB, at minute 15: %.1f MB (%+.1f %%; target within 5 %%)\n", r10 / 1024, r15 / 1024, 100 * (r15 - r10) / r10
}'
