#!/usr/bin/env bash
# Idle cost of the tray application: runs it offscreen with a 1 s refresh interval and the
# popover closed, then prints the share of one core it used and its peak resident memory.
# Usage: bench/idle_app.sh [path/to/velmora] [seconds]   (targets: <= 0.1 % and <= 45 MB)
source "$(dirname "$0")/app_run.sh"

app_bin=${1:-build-bench/velmora}
seconds=${2:-60}

app_start idle
sleep 5  # start-up is not idle work
app_measure "$seconds" idle

echo "idle tray app, $seconds s at 1 s interval, popover closed"
echo "  CPU share of one core: ${app_cpu_pct[idle]} %  (target <= 0.1 %; ${app_cpu_ms[idle]} ms CPU in $app_wall_s s)"
echo "  peak RSS: ${app_peak_mb[idle]} MB  (target <= 45 MB)"
