#!/usr/bin/env bash
# What a screen reader costs the open dashboard: three copies side by side on a virtual X
# display with the accessibility bus: one as it runs without assistive tools, one with
# accessibility on (its events sent, nobody reading), and one with a client reading its tree
# every READ_S seconds as a screen reader does (names, roles and the visible rows of the
# process table), or with READ_S 0 reading it once and then following its events. Prints each copy's share of one core.
# Usage: bench/dashboard_a11y.sh [path/to/velmora] [seconds] [processes] [READ_S]
# (target: both <= 1.0 % with about 370 processes; needs Xvfb, at-spi2-core and python3-pyatspi)
if [ "${VL_A11Y_INSIDE:-}" != 1 ]; then
    exec env VL_A11Y_INSIDE=1 dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/app_run.sh"

app_bin=${1:-build-bench/velmora}
seconds=${2:-60}
processes=${3:-370}
read_s=${4:-5}
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "at-spi2-core is missing" >&2; exit 2; }
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "python3-pyatspi is missing" >&2; exit 2; }

app_fill_processes "$processes"
app_display
DISPLAY=$app_xdisplay "$launcher" --launch-immediately >"$app_tmp/bus.log" 2>&1 &
app_children+=($!)
sleep 1
bus=DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS
app_start plain VL_OPEN_DASHBOARD=1 "$bus"
app_start listened VL_OPEN_DASHBOARD=1 "$bus" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
app_start read VL_OPEN_DASHBOARD=1 "$bus" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
sleep 5  # start-up and the window's first layout are not steady work
DISPLAY=$app_xdisplay /usr/bin/python3 "$(dirname "$0")/a11y_reader.py" "${app_pid[read]}" "$read_s" >"$app_tmp/reader.log" 2>&1 &
app_children+=($!)
sleep 2
app_measure "$seconds" plain listened read

echo "dashboard open, $seconds s at 1 s interval, $(app_process_count) processes, load average $(app_load) on $(nproc) cores"
echo "  without assistive tools:         ${app_cpu_pct[plain]} % of one core (${app_cpu_ms[plain]} ms CPU)"
echo "  accessibility on, nobody reads: ${app_cpu_pct[listened]} % of one core (${app_cpu_ms[listened]} ms CPU)"
echo "  read by a client (every $read_s s; 0: once, then its events): ${app_cpu_pct[read]} % of one core (${app_cpu_ms[read]} ms CPU; target <= 1.0 %)"
echo "  client: $(tail -1 "$app_tmp/reader.log")"
