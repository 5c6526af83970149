#!/usr/bin/env bash
# The tray on a headless sway with swaybar as the StatusNotifierItem host: the icon registers,
# an Activate call over D-Bus opens the popover (grim saves a picture of it), the popover closes
# when another window takes the focus and when the focus moves to another workspace, and a
# second Activate closes an open one. Fails when any of
# that does not happen; exit 77 (skipped) only when sway itself cannot start.
# sway refuses to run as root: as root this runs the check as the unprivileged user
# velmora-check (created when missing), on copies of the programs, in a runtime folder of its own.
# Usage: sway_check.sh VELMORA WAYLAND_PROBE OUT_DIR
# With VELMORA_IDLE_SECONDS=N it also prints the tray's CPU share over N idle seconds.
set -euo pipefail

app=$1
probe=$2
out=$3
skip=77
user=velmora-check

if [ "${SWAY_CHECK_INNER:-}" != 1 ]; then
    for tool in sway swaybar swaymsg grim dbus-run-session dbus-send; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (make test installs sway, grim, dbus)"; exit $skip; }
    done
    mkdir -p "$out"
    if [ "$(id -u)" != 0 ]; then
        exec env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY -u DISPLAY -u SWAYSOCK SWAY_CHECK_INNER=1 \
            dbus-run-session -- bash "$0" "$app" "$probe" "$out"
    fi
    id "$user" >/dev/null 2>&1 ||
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" ||
        { echo "FAIL: could not create the user $user to run sway as"; exit 1; }
    # The build tree may sit where that user cannot read (/root): it runs copies.
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    chmod 755 "$stage"
    cp "$app" "$stage/velmora"
    cp "$probe" "$stage/wayland_probe"
    cp "$0" "$stage/sway_check.sh"
    mkdir "$stage/out"
    chown "$user" "$stage/out"
    rc=0
    setpriv --reuid="$user" --regid="$user" --init-groups \
        env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$stage/out" LANG=C.UTF-8 SWAY_CHECK_INNER=1 \
        VELMORA_IDLE_SECONDS="${VELMORA_IDLE_SECONDS:-}" \
        dbus-run-session -- bash "$stage/sway_check.sh" "$stage/velmora" "$stage/wayland_probe" "$stage/out" || rc=$?
    cp "$stage"/out/*.png "$out"/ 2>/dev/null || true
    [ $rc = 0 ] && echo "picture: $out/sway-popover.png"
    exit $rc
fi

# --- Inside the session bus, as an unprivileged user.
tmp=$(mktemp -d)
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/run" "$tmp/home/.config/velmora"
chmod 700 "$tmp/run"
export XDG_RUNTIME_DIR=$tmp/run
cat >"$tmp/sway.conf" <<'EOF'
output HEADLESS-1 resolution 1280x800 position 0 0
bar {
    position top
    tray_output *
}
EOF
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$tmp/sway.conf" >"$tmp/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    ls "$tmp/run"/wayland-? >/dev/null 2>&1 && ls "$tmp/run"/sway-ipc.* >/dev/null 2>&1 && break
    sleep 0.1
done
if ! ls "$tmp/run"/wayland-? >/dev/null 2>&1; then
    echo "SKIP: headless sway did not start:"
    tail -20 "$tmp/sway.log"
    exit $skip
fi
WAYLAND_DISPLAY=$(basename "$(ls "$tmp/run"/wayland-? | head -1)")
SWAYSOCK=$(ls "$tmp/run"/sway-ipc.* | head -1)
export WAYLAND_DISPLAY SWAYSOCK

fail() {
    echo "FAIL: $*"
    echo "--- sway log"; tail -20 "$tmp/sway.log"
    echo "--- velmora log"; tail -20 "$tmp/app.log" 2>/dev/null || true
    exit 1
}

# "X Y W H" of the application's window on screen; fails when it has none.
app_rect() { swaymsg -t get_tree -r | "$probe" sway-rect com.tandrel.velmora; }
# wait_for open|closed: up to 10 s for the popover to appear or go.
wait_for() {
    local _
    for _ in $(seq 50); do
        if app_rect >/dev/null; then [ "$1" = open ] && return 0; else [ "$1" = closed ] && return 0; fi
        sleep 0.2
    done
    return 1
}
activate() {
    # The host passes where it was clicked: the icon's corner of the bar.
    dbus-send --session --print-reply --dest="$item" /StatusNotifierItem \
        org.kde.StatusNotifierItem.Activate int32:1270 int32:10 >/dev/null || fail "the Activate call failed"
}

# swaybar starts a moment after sway and then takes the watcher's name; a program started
# before that finds no tray and opens its stand-in window instead.
host=""
for _ in $(seq 100); do
    host=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2>/dev/null || true)
    grep -q true <<<"$host" && break
    sleep 0.1
done
grep -q true <<<"$host" || fail "swaybar did not take the StatusNotifierWatcher name"

echo '{"refreshInterval": 1.0}' >"$tmp/home/.config/velmora/settings.json"
env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" QT_QPA_PLATFORM=wayland "$app" >"$tmp/app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)

echo "== the icon registers with swaybar's StatusNotifierItem host"
item=""
for _ in $(seq 75); do
    kill -0 $app_pid 2>/dev/null || fail "velmora exited early"
    reply=$(dbus-send --session --print-reply=literal --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems 2>/dev/null || true)
    item=$(grep -o '[:a-zA-Z0-9._-]*/StatusNotifierItem' <<<"$reply" | head -1 | sed 's|/StatusNotifierItem||' || true)
    [ -n "$item" ] && break
    sleep 0.2
done
[ -n "$item" ] || fail "no StatusNotifierItem registered with the host"
echo "registered as $item"
app_rect >/dev/null && fail "a window is open before any activation"

echo "== Activate opens the popover"
activate
wait_for open || fail "Activate did not open the popover"
# Drawn content arrives a moment after the window maps.
ok=""
for _ in $(seq 20); do
    grim "$tmp/popover.png" || fail "grim could not take a picture"
    "$probe" content "$tmp/popover.png" $(app_rect) && { ok=1; break; }
    sleep 0.3
done
cp "$tmp/popover.png" "$out/sway-popover.png"
[ -n "$ok" ] || fail "the popover at $(app_rect) shows no content (picture: $out/sway-popover.png)"
echo "popover at $(app_rect)"

# An activation right after the popover closed counts as the click that closed it (the tray
# guards against reopening on it): a user's next click comes later.
pause() { sleep 0.5; }

echo "== the popover closes when another window takes the focus"
if command -v weston-flower >/dev/null; then
    weston-flower >/dev/null 2>&1 &
    other=$!
    pids+=($other)
    wait_for closed || fail "the popover stayed open when another window opened and took the focus"
    kill $other
    wait $other 2>/dev/null || true
    pause
    activate
    wait_for open || fail "Activate did not open the popover again"
else
    echo "(weston-flower is not installed: only the workspace switch below)"
fi
echo "== the popover closes when the focus moves to another workspace"
swaymsg workspace 2 >/dev/null
wait_for closed || fail "the popover stayed open after the focus moved to another workspace"
swaymsg workspace 1 >/dev/null
pause

echo "== a second Activate closes the open popover"
activate
wait_for open || fail "Activate did not open the popover again"
activate
wait_for closed || fail "a second Activate did not close the popover"

if [ -n "${VELMORA_IDLE_SECONDS:-}" ]; then
    echo "== the idle tray over $VELMORA_IDLE_SECONDS s"
    cpu_ns() {
        local total=0 t run
        for t in /proc/$app_pid/task/*/schedstat; do
            read -r run _ <"$t" 2>/dev/null || continue
            total=$((total + run))
        done
        echo $total
    }
    sleep 3
    c0=$(cpu_ns) t0=$(date +%s%N)
    sleep "$VELMORA_IDLE_SECONDS"
    c1=$(cpu_ns) t1=$(date +%s%N)
    awk -v c=$((c1 - c0)) -v t=$((t1 - t0)) 'BEGIN { printf "idle tray: %.3f %% of one core (%.1f ms CPU in %.1f s)\n", 100 * c / t, c / 1e6, t / 1e9 }'
fi

kill -0 $app_pid 2>/dev/null || fail "velmora exited"
echo "the tray works under sway"
