#!/usr/bin/env bash
# Each window and dialog of the application, opened in turn on a headless Weston as a native
# Wayland client (dialogs through tests/wayland/dialog_probe): fails when one does not appear or appears without content. Pictures go to OUT_DIR.
# Exit 77 (skipped) only when Weston itself cannot start.
# Usage: weston_check.sh VELMORA WAYLAND_PROBE OUT_DIR DIALOG_PROBE
set -euo pipefail

app=$1
probe=$2
out=$3
dialogs=$4
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

# check NAME WHICH COMMAND...: runs COMMAND and waits for its window WHICH (standin: the small
# window standing in for the missing tray, as there is no session bus here; other: any other
# window; any: the first one), which must appear and be drawn.
check() {
    local name=$1 which=$2
    shift 2
    echo "== $name"
    local home=$tmp/home-$name
    mkdir -p "$home/.config"
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=wayland "$@" >"$tmp/app.log" 2>&1 &
    local pid=$!
    pids+=($pid)
    local titles="" title="" rect="" shot=""
    for _ in $(seq 100); do
        kill -0 $pid 2>/dev/null || fail "$name: exited early"
        titles=$(window_titles $pid)
        case $which in
            standin) title=$(grep -x "Velmora" <<<"$titles" || true) ;;
            other) title=$(grep -vx "Velmora" <<<"$titles" | head -1 || true) ;;
            *) title=$(head -1 <<<"$titles") ;;
        esac
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

check no-tray standin "$app"
check dashboard other VL_OPEN_DASHBOARD=1 "$app"
check storage other VL_OPEN_STORAGE=1 "$app"
check settings other VL_OPEN_SETTINGS=1 "$app"
check analysis other VL_OPEN_ANALYSIS=cpu "$app"
# The detail window and the kill confirmation for a process that stays for the check: this shell.
check detail other VL_OPEN_DETAIL=$$ "$app"
check kill-confirmation any "$dialogs" kill $$
check problem-report any "$dialogs" report
echo "every window appeared with content under Weston; pictures in $out"
