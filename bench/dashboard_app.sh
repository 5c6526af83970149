#!/usr/bin/env bash
# Cost of the open dashboard: runs the application on a virtual X display with a 1 s refresh
# interval and the dashboard open (VL_OPEN_DASHBOARD=1), with the machine's process count
# topped up by idle sleepers, then prints the share of one core it used and its peak resident
# memory, with the machine's load beside them. Runs of 15 minutes or more also print the
# resident memory at minutes 10 and 15, once the 600 s history is full.
# Usage: bench/dashboard_app.sh [path/to/velmora] [seconds] [processes] [table]
# table "full": the process table in tree view with every column shown.
# (targets: <= 1.0 % and <= 80 MB with about 370 processes; minute 15 within 5 % of minute 10)
source "$(dirname "$0")/app_run.sh"

app_bin=${1:-build-bench/velmora}
seconds=${2:-60}
processes=${3:-370}
table=${4:-plain}
if [ "$table" = full ]; then
    app_settings[dashboard]='{"refreshInterval": 1.0, "procTableTree": true, "procTableColumns": ["pid", "name", "cpu", "gpu", "mem", "disk", "energy", "user", "command", "threads", "state", "nice", "started", "readTotal", "writeTotal"]}'
fi

app_fill_processes "$processes"
app_display
app_start dashboard VL_OPEN_DASHBOARD=1
sleep 5  # start-up and the window's first layout are not steady work

rss10="" rss15=""
app_each_second() {
    [ "$1" -eq 600 ] && rss10=$(app_rss_kb dashboard)
    [ "$1" -eq 900 ] && rss15=$(app_rss_kb dashboard)
    return 0
}
app_measure "$seconds" dashboard

echo "dashboard open ($table table), $seconds s at 1 s interval, $(app_process_count) processes, load average $(app_load) on $(nproc) cores"
echo "  CPU share of one core: ${app_cpu_pct[dashboard]} %  (target <= 1.0 %; ${app_cpu_ms[dashboard]} ms CPU in $app_wall_s s)"
echo "  peak RSS: ${app_peak_mb[dashboard]} MB  (target <= 80 MB)"
if [ -n "$rss10" ] && [ -n "$rss15" ]; then
    awk -v a="$rss10" -v b="$rss15" 'BEGIN {
        printf "  RSS at minute 10: %.1f MB, at minute 15: %.1f MB (%+.1f %%; target within 5 %%)\n", a / 1024, b / 1024, 100 * (b - a) / a }'
fi
