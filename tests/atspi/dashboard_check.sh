#!/usr/bin/env bash
# The dashboard as a screen reader meets it: the application runs under Xvfb with the
# accessibility bus, and read_tree.py reads its tree through AT-SPI (pyatspi), as a screen
# reader does. Fails unless the tree shows named cards, the process table with rows and the
# search field. Exit 77 (skipped) when Xvfb, the bus or pyatspi is missing.
# Usage: dashboard_check.sh VELMORA STRINGS_JSON
set -euo pipefail

app=$1
strings=$2
here=$(cd "$(dirname "$0")" && pwd)
skip=77

if [ "${VL_ATSPI_INSIDE:-}" != 1 ]; then
    for tool in Xvfb dbus-run-session; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (make test installs it)"; exit $skip; }
    done
    launcher=""
    for l in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
        [ -x "$l" ] && { launcher=$l; break; }
    done
    [ -n "$launcher" ] || { echo "SKIP: at-spi2-core is not installed"; exit $skip; }
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit $skip; }
    # A session bus of its own, so nothing of the user's session is read or disturbed.
    exec env VL_ATSPI_INSIDE=1 VL_ATSPI_LAUNCHER="$launcher" dbus-run-session -- bash "$0" "$@"
fi

tmp=$(mktemp -d)
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/run" "$tmp/home"
chmod 700 "$tmp/run"

# A display number nobody uses.
display=""
for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
done
[ -n "$display" ] || { echo "SKIP: no free X display number"; exit $skip; }
Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "SKIP: Xvfb did not start"; cat "$tmp/xvfb.log"; exit $skip; }
export DISPLAY=":$display" XDG_RUNTIME_DIR="$tmp/run"

"$VL_ATSPI_LAUNCHER" --launch-immediately >"$tmp/bus.log" 2>&1 &
pids+=($!)

# English, so the names read can be compared with the table's English texts.
env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share" \
    LANG=C.UTF-8 LANGUAGE=en LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    QT_ACCESSIBILITY=1 VL_OPEN_DASHBOARD=1 "$app" >"$tmp/app.log" 2>&1 &
pids+=($!)

if ! /usr/bin/python3 "$here/read_tree.py" "$strings" 45; then
    echo "--- velmora log"; tail -20 "$tmp/app.log"
    echo "--- accessibility bus log"; tail -20 "$tmp/bus.log"
    exit 1
fi
