#!/usr/bin/env bash
# Each window of the application, opened in turn on a headless Weston as a native Wayland
# client: fails when one does not appear or appears without content. Pictures go to OUT_DIR.
# Exit 77 (skipped) only when Weston itself cannot start.
# Usage: weston_check.sh VELMORA WAYLAND_PROBE OUT_DIR
set -euo pipefail

app=$1
probe=$2
out=$3
skip=77

for tool in weston weston-debug weston-screenshooter; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (make test installs weston)"; exit $skip; }
done
[ -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ] ||
    ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
    { echo "FAIL: Qt's Wayland platform plugin (qt6-wayland) is not installed"; exit 1; }

tmp=$(mktemp -d)
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$out" "$tmp/run" "$tmp/shots"
chmod 700 "$tmp/run"
export XDG_RUNTIME_DIR=$tmp/run
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
socket=velmora-check

# --debug exposes the scene graph (where each window is) and allows the screenshooter.
weston --backend=headless-backend.so --use-pixman --debug --idle-time=0 --socket=$socket \
    --width=1280 --height=800 >"$tmp/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$tmp/run/$socket" ] && break; sleep 0.1; done
if [ ! -S "$tmp/run/$socket" ]; then
    echo "SKIP: headless Weston did not start:"
    tail -20 "$tmp/weston.log"
    exit $skip
fi
export WAYLAND_DISPLAY=$socket

fail() {
    echo "FAIL: $*"
    echo "--- weston log"; tail -20 "$tmp/weston.log"
    [ -f "$tmp/app.log" ] && { echo "--- velmora log"; tail -20 "$tmp/app.log"; }
    exit 1
}

# "X Y W H" of the toplevel titled $2 of process $1, from the scene graph; empty when none.
window_rect() {
    timeout 5 weston-debug scene-graph 2>/dev/null | awk -v pid="$1" -v title="$2" '
        index($0, "PID " pid ",") && index($0, "top-level window '\''" title "'\''") { hit = 1; next }
        hit && /position:/ {
            gsub(/[(),]/, " "); print $2, $3, $5 - $2, $6 - $3; exit
        }'
}

# Titles of the toplevels of process $1, one a line.
window_titles() {
    timeout 5 weston-debug scene-graph 2>/dev/null |
        grep -o "PID $1, .*top-level window '[^']*'" | sed "s/.*top-level window '\(.*\)'/\1/"  || true
}

screenshot() {
    (cd "$tmp/shots" && rm -f ./*.png && timeout 10 weston-screenshooter >/dev/null 2>&1) || return 1
    ls "$tmp/shots"/*.png 2>/dev/null | head -1
}

# check_window NAME [VAR=VALUE]: starts the application (with VAR=VALUE, which opens one of its
# windows) and waits for that window, or without one for the small window that stands in for
# the missing tray (no session bus here, so no tray); it must appear and be drawn.
check_window() {
    local name=$1 open=${2:-}
    echo "== $name ${open:+($open)}"
    local home=$tmp/home-$name
    mkdir -p "$home/.config"
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=wayland $open \
        "$app" >"$tmp/app.log" 2>&1 &
    local pid=$!
    pids+=($pid)
    local titles="" title="" rect="" shot=""
    for _ in $(seq 100); do
        kill -0 $pid 2>/dev/null || fail "velmora exited early"
        titles=$(window_titles $pid)
        if [ -n "$open" ]; then
            title=$(grep -vx "Velmora" <<<"$titles" | head -1 || true)
        else
            title=$(grep -x "Velmora" <<<"$titles" || true)
        fi
        [ -n "$title" ] && break
        sleep 0.2
    done
    [ -n "$title" ] || fail "$name: no window appeared (windows: ${titles:-none})"
    echo "window '$title'"
    # Drawn content arrives a moment after the window maps.
    local ok=""
    for _ in $(seq 20); do
        rect=$(window_rect $pid "$title")
        shot=$(screenshot) || fail "weston-screenshooter failed"
        if [ -n "$rect" ] && "$probe" content "$shot" $rect; then ok=1; break; fi
        sleep 0.5
    done
    cp "$shot" "$out/weston-$name.png"
    [ -n "$ok" ] || fail "$name: the window at ${rect:-?} shows no content (picture: $out/weston-$name.png)"
    kill $pid
    wait $pid 2>/dev/null || true
}

check_window no-tray
check_window dashboard VL_OPEN_DASHBOARD=1
check_window storage VL_OPEN_STORAGE=1
check_window settings VL_OPEN_SETTINGS=1
check_window analysis VL_OPEN_ANALYSIS=cpu
# The detail window of a process that stays for the check: this shell.
check_window detail VL_OPEN_DETAIL=$$
echo "every window appeared with content under Weston; pictures in $out"
