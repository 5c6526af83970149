#!/usr/bin/env bash
# Cost of the application with one analysis window open: runs it offscreen with a 1 s
# refresh interval and the window of the named metric shown (its inspector refreshing the
# selected process), then prints the share of one core it used and its peak resident memory.
# Idle sleepers top the machine up to PROCESSES first, as for the dashboard.
# Usage: bench/analysis_app.sh [path/to/velmora] [seconds] [metric] [processes]
# (targets, the dashboard's budget: <= 1.0 % and <= 80 MB)
source "$(dirname "$0")/app_run.sh"

app_bin=${1:-build-bench/velmora}
seconds=${2:-60}
metric=${3:-cpu}
processes=${4:-370}

app_fill_processes "$processes"
app_start analysis VL_OPEN_ANALYSIS="$metric"
sleep 5  # start-up and the window's first layout are not steady work
app_measure "$seconds" analysis

echo "app with the $metric analysis window open, $seconds s at 1 s interval, $(app_process_count) processes"
echo "  CPU share of one core: ${app_cpu_pct[analysis]} %  (target <= 1.0 %; ${app_cpu_ms[analysis]} ms CPU in $app_wall_s s)"
echo "  peak RSS: ${app_peak_mb[analysis]} MB  (target <= 80 MB)"
