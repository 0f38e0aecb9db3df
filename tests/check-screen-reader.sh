#!/usr/bin/env bash
# Reads the built window the way a screen reader does: on an X server of its own (Xvfb) and in a
# private D-Bus session, where Debian's at-spi2-core starts the accessibility bus on demand,
# screen-reader-tree.py starts kelmora-test and walks its AT-SPI tree.
#
#   check-screen-reader.sh KELMORA_TEST
set -euo pipefail
tool=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wait_limit=30 # seconds for the X server; the ctest's TIMEOUT lies above everything

fail() {
    echo "check-screen-reader: $*" >&2
    exit 1
}
for program in Xvfb dbus-run-session /usr/libexec/at-spi-bus-launcher; do
    command -v "$program" >/dev/null || fail "$program fehlt (scripts/setup --tests installiert es)."
done
# Debian's own Python, which python3-pyatspi is installed for.
python=/usr/bin/python3
"$python" -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi fehlt (scripts/setup --tests)."

work=$(mktemp -d "${TMPDIR:-/tmp}/kelmora-screen-reader.XXXXXX")
xvfb_pid=
cleanup() {
    [ -z "$xvfb_pid" ] || kill -KILL "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display itself and writes its number once it accepts clients. Without
# -noreset it resets when its last client leaves: the accessibility bus launcher opens the display
# only to mark the bus on its root window, and a client that connects during that reset (under
# load, the window) fails with "could not connect to display".
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
deadline=$((SECONDS + wait_limit))
until [ -s "$work/display" ]; do
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb endete"; }
    ((SECONDS < deadline)) || fail "Xvfb nach ${wait_limit} s nicht bereit"
    sleep 0.1
done

export DISPLAY=":$(cat "$work/display")" XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
# The bus daemons' own chatter (activation, an fd limit root may not raise) is no finding.
status=0
dbus-run-session -- "$python" "$here/screen-reader-tree.py" "$tool" 2>"$work/stderr" || status=$?
grep -v -e '^dbus-daemon\[' -e '^SpiRegistry daemon' "$work/stderr" >&2 || true
exit "$status"
