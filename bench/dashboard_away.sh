#!/usr/bin/env bash
# What a dashboard out of sight costs: three copies of the application side by side on one
# virtual display with a window manager, at a 1 s refresh interval, measured over the same
# seconds: the tray alone, one whose dashboard was opened and then minimised, and one whose
# dashboard was opened and then closed (Ctrl+W). Prints each one's share of one core and the
# difference to the tray alone, which should be noise.
# Usage: bench/dashboard_away.sh [path/to/velmora] [seconds] [processes]
source "$(dirname "$0")/app_run.sh"

app_bin=${1:-build-bench/velmora}
seconds=${2:-60}
processes=${3:-370}

app_fill_processes "$processes"
app_display --wm
app_start tray
app_start minimised VL_OPEN_DASHBOARD=1
app_start closed VL_OPEN_DASHBOARD=1
sleep 5  # start-up and the windows' first layout

win=$(app_window minimised)
[ -n "$win" ] || { echo "no dashboard window to minimise" >&2; exit 1; }
DISPLAY=$app_xdisplay xdotool windowminimize --sync "$win"
win=$(app_window closed)
[ -n "$win" ] || { echo "no dashboard window to close" >&2; exit 1; }
DISPLAY=$app_xdisplay xdotool windowactivate --sync "$win" key ctrl+w
sleep 2
[ -z "$(app_window closed)" ] || { echo "the dashboard did not close" >&2; exit 1; }

app_measure "$seconds" tray minimised closed

echo "dashboard out of sight, $seconds s at 1 s interval, $(app_process_count) processes, load average $(app_load) on $(nproc) cores"
for name in tray minimised closed; do
    awk -v n="$name" -v p="${app_cpu_pct[$name]}" -v base="${app_cpu_pct[tray]}" -v ms="${app_cpu_ms[$name]}" -v mb="${app_peak_mb[$name]}" 'BEGIN {
        printf "  %-10s %.3f %% of one core (%+.3f against the tray alone; %.1f ms CPU), peak RSS %.1f MB\n", n, p, p - base, ms, mb }'
done
