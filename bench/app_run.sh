# Sourced by the bench/*_app.sh scripts, not run on its own: starts copies of the application
# in throwaway homes at a 1 s refresh interval and reads what they cost from /proc (CPU time
# from the scheduler's accounting of every thread, memory from the status file).
# The sourcing script sets app_bin before calling app_start.

set -euo pipefail

app_tmp=$(mktemp -d)
app_children=()   # everything started here; stopped at exit, newest first
app_xdisplay=""   # the virtual display, once app_display made one
declare -A app_pid=() app_cpu_pct=() app_peak_mb=() app_cpu_ms=()
app_wall_s=0

app_cleanup() {
    local i
    for ((i = ${#app_children[@]} - 1; i >= 0; i--)); do kill "${app_children[i]}" 2>/dev/null || true; done
    for ((i = ${#app_children[@]} - 1; i >= 0; i--)); do wait "${app_children[i]}" 2>/dev/null || true; done
    rm -rf "$app_tmp"
}
trap app_cleanup EXIT

app_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
    done
}

# A virtual X display of our own (the first free number from 90 up); with --wm a window
# manager too, which minimising needs.
app_display() {
    app_need Xvfb
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1440x900x24 -nolisten tcp >"$app_tmp/xvfb.log" 2>&1 &
    app_children+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    app_xdisplay=":$n"
    if [ "${1:-}" = --wm ]; then
        app_need openbox xdotool
        DISPLAY=$app_xdisplay openbox --sm-disable >"$app_tmp/wm.log" 2>&1 &
        app_children+=($!)
        sleep 1
    fi
}

# app_start NAME [VAR=VALUE ...]: one copy in a home of its own (its own single instance, no
# session bus), on the virtual display when there is one, offscreen otherwise. Its settings
# are app_settings[NAME] when set, a 1 s refresh interval otherwise.
declare -A app_settings=()
app_start() {
    local name=$1 home="$app_tmp/$1"
    shift
    mkdir -p "$home/config/velmora" "$home/run"
    chmod 700 "$home/run"
    echo "${app_settings[$name]:-{\"refreshInterval\": 1.0\}}" >"$home/config/velmora/settings.json"
    local display=(QT_QPA_PLATFORM=offscreen)
    [ -n "$app_xdisplay" ] && display=(QT_QPA_PLATFORM=xcb DISPLAY="$app_xdisplay")
    env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY -u DISPLAY "${display[@]}" \
        XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" HOME="$home" "$@" \
        "$app_bin" --tray-only >"$home/log" 2>&1 &
    app_pid[$name]=$!
    app_children+=($!)
}

app_alive() {
    local name
    for name in "$@"; do
        kill -0 "${app_pid[$name]}" 2>/dev/null && continue
        echo "velmora ($name) exited early:" >&2
        cat "$app_tmp/$name/log" >&2
        exit 1
    done
}

# CPU time of every thread of a copy, in nanoseconds.
app_cpu_ns() {
    local total=0 t run
    for t in /proc/"${app_pid[$1]}"/task/*/schedstat; do
        read -r run _ <"$t" 2>/dev/null || continue
        total=$((total + run))
    done
    echo "$total"
}

app_rss_kb() { awk '/^VmRSS:/ {print $2}' /proc/"${app_pid[$1]}"/status; }

# The visible top-level window of a copy, if it has one (needs a display). Matched by the
# window's pid property: xdotool's own --pid search misses windows once several clients run.
app_window() {
    local w
    for w in $(DISPLAY=$app_xdisplay xdotool search --onlyvisible --name . 2>/dev/null); do
        if [ "$(DISPLAY=$app_xdisplay xdotool getwindowpid "$w" 2>/dev/null)" = "${app_pid[$1]}" ]; then
            echo "$w"
            return 0
        fi
    done
}

# Tops the machine's process count up to N with idle sleepers, so the ranking and the
# process table have a busy machine's amount of work.
app_fill_processes() {
    local have
    have=$(find /proc -maxdepth 1 -name '[0-9]*' | wc -l)
    while [ "$have" -lt "$1" ]; do
        sleep 100000 &
        app_children+=($!)
        have=$((have + 1))
    done
}

app_process_count() { find /proc -maxdepth 1 -name '[0-9]*' | wc -l; }

# app_measure SECONDS NAME...: CPU share of one core and peak RSS of each copy over the same
# SECONDS (into app_cpu_pct, app_cpu_ms, app_peak_mb, app_wall_s). A function named
# app_each_second, when defined, runs once a second with the second's number.
app_measure() {
    local seconds=$1 name s
    shift
    app_alive "$@"
    declare -A c0=()
    for name in "$@"; do c0[$name]=$(app_cpu_ns "$name"); done
    local t0 t1
    t0=$(date +%s%N)
    for ((s = 1; s <= seconds; s++)); do
        sleep 1
        if declare -F app_each_second >/dev/null; then app_each_second "$s"; fi
    done
    app_alive "$@"
    t1=$(date +%s%N)
    app_wall_s=$(awk -v t=$((t1 - t0)) 'BEGIN { printf "%.1f", t / 1e9 }')
    for name in "$@"; do
        local c=$(($(app_cpu_ns "$name") - ${c0[$name]}))
        app_cpu_pct[$name]=$(awk -v c="$c" -v t=$((t1 - t0)) 'BEGIN { printf "%.3f", 100 * c / t }')
        app_cpu_ms[$name]=$(awk -v c="$c" 'BEGIN { printf "%.1f", c / 1e6 }')
        app_peak_mb[$name]=$(awk '/^VmHWM:/ {printf "%.1f", $2 / 1024}' /proc/"${app_pid[$name]}"/status)
    done
}

app_load() { cut -d' ' -f1-3 /proc/loadavg; }
