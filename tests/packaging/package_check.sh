#!/usr/bin/env bash
# The Debian package as a user meets it: lints it, installs it with dpkg, runs the installed
# program, checks that launch at login is offered with the installed desktop entry, then
# purges it and checks that nothing of it is left. Changes the machine: run as root (CI, or a
# throwaway machine). Usage: package_check.sh velmora_X_arch.deb LOGIN_PROBE
set -euo pipefail

deb=$1
probe=$2
pkg=velmora

fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}
step() { echo "== $*"; }
# dpkg's state of the package: installed, config-files, ..., or not-installed when it knows
# nothing of it.
state() { dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || echo not-installed; }

[ "$(id -u)" = 0 ] || fail "dpkg -i needs root; run it through sudo"
[ -f "$deb" ] || fail "no package at $deb"
[ -x "$probe" ] || fail "no login probe at $probe"
[ "$(state)" = not-installed ] ||
    fail "$pkg is $(state) already; this check would purge it: remove it first (dpkg --purge $pkg)"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"; [ "$(state)" = not-installed ] || dpkg --purge "$pkg" >/dev/null 2>&1; true' EXIT
# The installed program and the probe run in a throwaway home, without the session's bus.
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_STATE_HOME=$tmp/home/.local/state
unset XDG_DATA_DIRS DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME"
# The probe runs from a plain path: the autostart entry it writes names it in Exec=, quoted
# where the path holds spaces or other reserved characters.
cp "$probe" "$tmp/velmora_login_probe"
probe=$tmp/velmora_login_probe

step "lintian"
# Warnings are shown; errors fail the check.
lintian_rc=0
lintian --fail-on error "$deb" >"$tmp/lintian" 2>&1 || lintian_rc=$?
grep -v "root privileges" "$tmp/lintian" || true
[ "$lintian_rc" = 0 ] || fail "lintian reports errors"

step "contents"
dpkg-deb -c "$deb" | awk '{print $NF}' >"$tmp/contents"
entry_rel=$(grep -E '^\./usr/share/applications/[^/]+\.desktop$' "$tmp/contents") ||
    fail "the package has no desktop entry"
entry_id=$(basename "$entry_rel" .desktop)
for want in ./usr/bin/velmora ./usr/bin/velmora-powerd "./usr/share/icons/hicolor/scalable/apps/$entry_id.svg" \
    "./usr/share/metainfo/$entry_id.metainfo.xml" ./usr/lib/systemd/user/velmora-exporter.service; do
    grep -qxF "$want" "$tmp/contents" || fail "the package lacks $want"
done
# The program announces itself under the same id; an entry of another name would leave the
# setting and the notifications without an entry.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/velmora >"$tmp/velmora"
grep -qaF "$entry_id" "$tmp/velmora" ||
    fail "/usr/bin/velmora does not name the desktop entry $entry_id"
depends=$(dpkg-deb -f "$deb" Depends)
for want in libqt6core6 fonts-noto-cjk fonts-thai-tlwg qt6-wayland libqt6sql6-sqlite; do
    grep -qw "$want" <<<"$depends" || fail "Depends lacks $want: $depends"
done

step "launch at login before installing"
before=$("$probe" "$entry_id" status)
[ "$before" = "available=0 enabled=0" ] ||
    fail "launch at login is offered without an installed entry ($before)"

step "dpkg -i"
dpkg -i "$deb" || fail "dpkg -i $deb"
[ "$(state)" = installed ] || fail "$pkg is $(state) after dpkg -i"
dpkg -L "$pkg" >"$tmp/files"

step "validators"
appstreamcli validate --no-net "/usr/share/metainfo/$entry_id.metainfo.xml" || fail "appstreamcli validate"
desktop-file-validate "/usr/share/applications/$entry_id.desktop" || fail "desktop-file-validate"

step "velmora --version"
version=$(/usr/bin/velmora --version) || fail "velmora --version exited with $?"
echo "$version"
[[ $version =~ ^Velmora\ [0-9]+\.[0-9]+\.[0-9]+ ]] || fail "velmora --version printed '$version'"
[[ $version == *"$(dpkg-query -W -f='${Version}' "$pkg")"* ]] || fail "velmora --version does not match the package version"

step "velmora --print --count 1"
out=$(timeout 30 /usr/bin/velmora --print --count 1) || fail "velmora --print --count 1 exited with $?"
echo "$out"
[ "$(wc -l <<<"$out")" -eq 2 ] || fail "expected a header and one row"
[[ $(sed -n 2p <<<"$out") =~ ^[0-9]{2}:[0-9]{2}:[0-9]{2}\  ]] || fail "the row does not start with a time"

step "launch at login with the installed entry"
status=$("$probe" "$entry_id" status)
[ "$status" = "available=1 enabled=0" ] || fail "launch at login with the installed entry: $status"
"$probe" "$entry_id" enable >/dev/null || fail "enabling launch at login"
autostart=$XDG_CONFIG_HOME/autostart/$entry_id.desktop
[ -f "$autostart" ] || fail "enabling wrote no $autostart: $(ls -R "$XDG_CONFIG_HOME")"
grep -qx "Icon=$entry_id" "$autostart" || fail "the autostart entry does not name $entry_id: $(cat "$autostart")"
grep -qx "Exec=$probe" "$autostart" || fail "the autostart entry does not start the program: $(cat "$autostart")"
desktop-file-validate "$autostart" || fail "the autostart entry is not a valid desktop entry"
[ "$("$probe" "$entry_id" status)" = "available=1 enabled=1" ] || fail "launch at login does not read back as on"
"$probe" "$entry_id" disable >/dev/null || fail "disabling launch at login"
[ ! -e "$autostart" ] || fail "disabling left $autostart"

step "dpkg --purge"
dpkg --purge "$pkg" || fail "dpkg --purge"
[ "$(state)" = not-installed ] || fail "$pkg is $(state) after purge"
left=()
while IFS= read -r f; do
    [ -e "$f" ] || continue
    # Shared folders (/usr/bin, /usr/share/applications, ...) belong to others too.
    [ -d "$f" ] && [ -n "$(dpkg-query -S "$f" 2>/dev/null)" ] && continue
    [ -d "$f" ] && [[ $f != *velmora* ]] && continue
    left+=("$f")
done <"$tmp/files"
[ ${#left[@]} -eq 0 ] || fail "left behind after purge: ${left[*]}"
[ ! -e /usr/share/doc/$pkg ] || fail "/usr/share/doc/$pkg is left"
after=$("$probe" "$entry_id" status)
[ "$after" = "available=0 enabled=0" ] || fail "launch at login is still offered after purge ($after)"

echo "package check passed: $(basename "$deb")"
