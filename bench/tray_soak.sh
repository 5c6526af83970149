#!/usr/bin/env bash
# Memory over time of the tray application: runs it for a while at a 1 s refresh interval,
# docked in a tray host under a virtual X server, once with the popover closed and once with
# it open (side by side, each on its own display), with the headless
# `velmora --print --json --processes` beside them, and prints every process's resident
# memory once a minute. Once the 600 s history is full nothing should grow any more: it exits
# 1 when the last minute of either tray run exceeds the minute four before it by more than 1 %.
# Usage: bench/tray_soak.sh [path/to/velmora] [minutes]   (default 15: minute 15 against 11)
# Needs Xvfb, trayer, xdotool and xwininfo (Debian: xvfb trayer xdotool x11-utils).
set -euo pipefail

bin=${1:-build-bench/velmora}
minutes=${2:-15}
limit_pct=1
span=4  # the check compares the last minute with this many minutes before it

if ! [[ $minutes =~ ^[0-9]+$ ]] || [ "$minutes" -le "$span" ]; then
    echo "minutes must be a whole number above $span" >&2
    exit 2
fi
[ -x "$bin" ] || { echo "no program at $bin" >&2; exit 2; }
for tool in Xvfb trayer xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done
bin=$(realpath "$bin")

tmp=$(mktemp -d)
pids=()
cleanup() {
    local i p
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        p=${pids[i]}
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "$1" >&2
    shift
    for log in "$@"; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 2
}

# Waits up to two minutes (start-up on a busy machine is slow) for a command to succeed.
await() {
    for _ in $(seq 1200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# A private home for one run: settings with a 1 s interval, its own runtime folder (so each
# run is its own single instance) and no session bus, which leaves the tray to the X host.
make_home() {
    local home=$tmp/$1
    mkdir -p "$home/config/velmora" "$home/run"
    chmod 700 "$home/run"
    echo '{"refreshInterval": 1.0}' >"$home/config/velmora/settings.json"
    echo "$home"
}

# The environment of one run, as a command prefix in `home_env`. Started from a plain
# command line (not a function) so that $! is the program's own pid.
with_home() {
    local home=$1 display=$2
    home_env=(env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb DISPLAY="$display"
        XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" HOME="$home")
}

# The tray host's panel window, once it is up.
# (Window trees are read whole before matching: a reader that stops early would break the
# pipe under pipefail.)
panel_of() {
    local tree
    tree=$(DISPLAY=$1 xwininfo -root -tree) || return 1
    awk '/"panel": \("panel" "trayer"\)/ {print $1; found = 1; exit} END {exit !found}' <<<"$tree"
}

# Whether a window of process $3 sits inside the panel $2 (windows are found by their
# _NET_WM_PID, so a renamed binary is found too).
docked() {
    local tree id
    tree=$(DISPLAY=$1 xwininfo -tree -id "$2") || return 1
    for id in $(DISPLAY=$1 xdotool search --pid "$3" 2>/dev/null); do
        grep -qi "$(printf '0x%x ' "$id")" <<<"$tree" && return 0
    done
    return 1
}

# The popover is open when the program shows a second window besides its icon.
popover_open() {
    [ "$(DISPLAY=$1 xdotool search --onlyvisible --pid "$2" 2>/dev/null | wc -l)" -ge 2 ]
}

# Starts a virtual X server with a tray host and the tray application docked in it, and sets
# started_display and started_pid. The popover is opened the way a second launch does it.
# (Not run in a subshell: the processes it starts must reach the cleanup list.)
start_tray() {
    local name=$1 open=$2 home display xpid tpid apid panel
    home=$(make_home "$name")
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$home/display" >"$home/xvfb.log" 2>&1 &
    xpid=$!
    pids+=("$xpid")
    await grep -q . "$home/display" || fail "Xvfb did not start" "$home/xvfb.log"
    display=:$(head -n 1 "$home/display")
    DISPLAY=$display trayer --edge top --align right --widthtype request --height 22 \
        --SetDockType true >"$home/trayer.log" 2>&1 &
    tpid=$!
    pids+=("$tpid")
    await panel_of "$display" || fail "the tray host did not start" "$home/trayer.log"
    panel=$(panel_of "$display")
    with_home "$home" "$display"
    "${home_env[@]}" "$bin" --tray-only >"$home/app.log" 2>&1 &
    apid=$!
    pids+=("$apid")
    await docked "$display" "$panel" "$apid" || fail "the icon did not dock ($name)" "$home/app.log"
    if [ "$open" = 1 ]; then
        "${home_env[@]}" timeout 60 "$bin" >>"$home/second.log" 2>&1 ||
            fail "a second launch did not reach the running copy" "$home/second.log"
        await popover_open "$display" "$apid" || fail "the popover did not open" "$home/app.log"
    fi
    started_display=$display
    started_pid=$apid
}

# Resident memory in MB, or "gone" once the process has exited.
rss_mb() {
    local kb
    kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null) || true
    if [ -n "$kb" ]; then awk -v kb="$kb" 'BEGIN {printf "%.1f", kb / 1024}'; else echo gone; fi
}

start_tray closed 0
closed_pid=$started_pid
start_tray open 1
open_display=$started_display
open_pid=$started_pid
print_home=$(make_home print)
with_home "$print_home" "${DISPLAY:-}"
"${home_env[@]}" "$bin" --print --json --processes --interval 1 >/dev/null 2>"$print_home/print.log" &
print_pid=$!
pids+=("$print_pid")

echo "tray application, $minutes min at 1 s interval; resident memory (MB) each minute"
printf '%6s  %22s  %22s  %28s\n' minute "tray, popover closed" "tray, popover open" "--print --json --processes"
start=$(date +%s)
declare -a closed open print
for ((m = 1; m <= minutes; m++)); do
    wait_s=$((start + 60 * m - $(date +%s)))
    [ "$wait_s" -gt 0 ] && sleep "$wait_s"
    closed[m]=$(rss_mb "$closed_pid")
    open[m]=$(rss_mb "$open_pid")
    print[m]=$(rss_mb "$print_pid")
    note=""
    popover_open "$open_display" "$open_pid" || note="  (the popover has closed)"
    printf '%6d  %22s  %22s  %28s%s\n' "$m" "${closed[m]}" "${open[m]}" "${print[m]}" "$note"
    for v in "${closed[m]}" "${open[m]}" "${print[m]}"; do
        [ "$v" != gone ] || fail "a run exited early" "$tmp/closed/app.log" "$tmp/open/app.log" \
            "$print_home/print.log"
    done
    [ -z "$note" ] || fail "the popover closed during the run" "$tmp/open/app.log"
done

# Growth of the last minute over the one $span minutes before it, per tray run.
verdict=0
first=$((minutes - span))
for run in closed open; do
    declare -n series=$run
    if ! awk -v a="${series[first]}" -v b="${series[minutes]}" -v lim="$limit_pct" -v run="$run" \
        -v f="$first" -v l="$minutes" 'BEGIN {
            pct = 100 * (b - a) / a
            printf "popover %s: minute %d %.1f MB, minute %d %.1f MB: %+.2f %% (limit %d %%)\n", run, l, b, f, a, pct, lim
            exit pct > lim
        }'; then
        verdict=1
    fi
done
exit "$verdict"
