#!/usr/bin/env bash
# What remembering who caused the load costs the idle tray: three copies side by side with the
# popover closed at a 1 s refresh, the machine topped up to PROCESSES, one remembering every
# 10 s and two not (their difference is the machine's noise). Prints each copy's share of one
# core and peak memory, and the database's size.
# Usage: bench/history_app.sh [path/to/velmora] [seconds] [processes]
#        (targets: at most +0.05 % of one core, at most +10 MB resident)
source "$(dirname "$0")/app_run.sh"

app_bin=${1:-build-bench/velmora}
seconds=${2:-300}
processes=${3:-370}

app_fill_processes "$processes"
app_settings[remember]='{"refreshInterval": 1.0, "rememberLoadSeconds": 10}'
app_settings[off]='{"refreshInterval": 1.0, "rememberLoadSeconds": 0}'
app_settings[off2]='{"refreshInterval": 1.0, "rememberLoadSeconds": 0}'
app_start remember
app_start off
app_start off2
sleep 5  # start-up is not idle work
app_measure "$seconds" remember off off2

db="$app_tmp/remember/.local/state/velmora/history.sqlite"
echo "idle tray, $seconds s at 1 s interval, $(app_process_count) processes, load $(app_load)"
for name in remember off off2; do
    echo "  $name: ${app_cpu_pct[$name]} % of one core (${app_cpu_ms[$name]} ms), peak RSS ${app_peak_mb[$name]} MB"
done
awk -v r="${app_cpu_pct[remember]}" -v a="${app_cpu_pct[off]}" -v b="${app_cpu_pct[off2]}" \
    'BEGIN { printf "  remembering costs %+.3f %% of one core (target <= +0.05 %%); the two plain copies differ by %.3f %%\n", r - (a + b) / 2, (a > b ? a - b : b - a) }'
awk -v r="${app_peak_mb[remember]}" -v a="${app_peak_mb[off]}" \
    'BEGIN { printf "  and %+.1f MB of peak resident memory (target <= +10 MB)\n", r - a }'
# The last minute's records are written when the copy ends; the size before that is enough here.
[ -f "$db" ] && echo "  database: $(du -k "$db" "$db-wal" 2>/dev/null | awk '{s += $1} END {print s}') KiB after $seconds s"
