#!/usr/bin/env bash
# Starts the installed tool natively on Wayland (Qt's wayland platform, weston's headless back
# end) with the virtual panel behind COM1, and checks the window as the compositor is asked to
# show it: a toplevel whose app id is the name of the installed menu entry (shells take the icon
# from it and group the window with the entry), whose title is "Kelmora-Test", and that maps on
# the output. Then SIGTERM must end the tool as "Abbrechen" does, with exit status 0.
#
#   check-wayland-window.sh BUILD [CMAKE]
#
# The requests come from the tool's own protocol log (WAYLAND_DEBUG); that the window mapped is
# the compositor's wl_surface.enter event in the same log.
set -euo pipefail
build=$1
cmake=${2:-cmake}
wait_limit=60 # seconds for each step; the ctest's TIMEOUT lies above all of them

fail() {
    echo "check-wayland-window: $*" >&2
    exit 1
}
command -v weston >/dev/null || fail "weston fehlt (scripts/setup --tests installiert es)."

work=$(mktemp -d "${TMPDIR:-/tmp}/kelmora-wayland.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Waits until the command succeeds, up to wait_limit seconds.
wait_for() {
    local deadline=$((SECONDS + wait_limit))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
late() { fail "$1: nach ${wait_limit} s nicht eingetreten"; }
alive() { kill -0 "$1" 2>/dev/null; }

DESTDIR="$work/root" "$cmake" --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
entries=("$root"/share/applications/*.desktop)
((${#entries[@]} == 1)) && [ -f "${entries[0]}" ] || fail "nicht genau ein Menüeintrag installiert"
app_id=$(basename "${entries[0]}" .desktop)

# The compositor, alone in a runtime directory of its own (weston wants it private).
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_SOCKET
export WAYLAND_DISPLAY=kelmora-wayland
# Weston 10 (Debian 12) names back ends by module file, weston 12 and later by name.
backend=headless
[ "$(weston --version | sed -n 's/^weston \([0-9]*\)\..*/\1/p')" -ge 12 ] || backend=headless-backend.so
weston --backend="$backend" --socket="$WAYLAND_DISPLAY" --idle-time=0 \
    --log="$work/weston.log" >"$work/weston.out" 2>&1 &
weston_pid=$!
pids+=("$weston_pid")
compositor_up() {
    alive "$weston_pid" || { cat "$work/weston.out" "$work/weston.log" >&2; fail "weston endete"; }
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]
}
wait_for compositor_up || late "weston-Socket"

# The far end of COM1; COM2 to COM4 lead nowhere, so no real device is touched.
QT_QPA_PLATFORM=offscreen "$root/bin/kelmora-panel" >"$work/panel.out" 2>"$work/panel.err" &
panel_pid=$!
pids+=("$panel_pid")
panel_up() {
    alive "$panel_pid" || { cat "$work/panel.err" >&2; fail "kelmora-panel endete"; }
    [ -s "$work/panel.out" ]
}
wait_for panel_up || late "Leitung der virtuellen Anzeige"
line=$(head -n 1 "$work/panel.out")

KELMORA_COM1=$line KELMORA_COM2=/nonexistent/kelmora-test/COM2 \
    KELMORA_COM3=/nonexistent/kelmora-test/COM3 KELMORA_COM4=/nonexistent/kelmora-test/COM4 \
    QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
    "$root/bin/kelmora-test" >"$work/tool.out" 2>"$work/tool.log" &
tool_pid=$!
pids+=("$tool_pid")

# Each toplevel that has entered an output, as "app id|title". Object ids are printed as
# "name@id" by libwayland before 1.23 and "name#id" since.
mapped_toplevels() {
    sed -nE '
        s/.* -> xdg_wm_base[@#][0-9]+\.get_xdg_surface\(new id xdg_surface[@#]([0-9]+), wl_surface[@#]([0-9]+)\)$/xdg_surface \1 \2/p
        s/.* -> xdg_surface[@#]([0-9]+)\.get_toplevel\(new id xdg_toplevel[@#]([0-9]+)\)$/toplevel \2 \1/p
        s/.* -> xdg_toplevel[@#]([0-9]+)\.set_app_id\("(.*)"\)$/app_id \1 \2/p
        s/.* -> xdg_toplevel[@#]([0-9]+)\.set_title\("(.*)"\)$/title \1 \2/p
        s/^\[[^]]*\] (\{[^}]*\} )?wl_surface[@#]([0-9]+)\.enter\(wl_output[@#][0-9]+\)$/enter \2/p
    ' "$work/tool.log" | awk '
        { value = $0; sub(/^[^ ]+ [^ ]+ /, "", value) }
        $1 == "xdg_surface" { surface_of[$2] = $3 }
        $1 == "toplevel" { toplevel_surface[$2] = surface_of[$3] }
        $1 == "app_id" { app_id[$2] = value }
        $1 == "title" { title[$2] = value }
        $1 == "enter" { entered[$2] = 1 }
        END { for (t in toplevel_surface) if (entered[toplevel_surface[t]]) print app_id[t] "|" title[t] }
    '
}
window_mapped() {
    alive "$tool_pid" || { tail -n 40 "$work/tool.log" >&2; fail "kelmora-test endete vor dem Fenster"; }
    mapped_toplevels | grep -qxF "$app_id|Kelmora-Test"
}
wait_for window_mapped || {
    echo "abgebildete Fenster (App-ID|Titel): $(mapped_toplevels | tr '\n' ' ')" >&2
    late "Fenster mit App-ID „$app_id“ und Titel „Kelmora-Test“"
}
echo "Fenster abgebildet: App-ID „$app_id“, Titel „Kelmora-Test“"

kill -TERM "$tool_pid"
tool_ended() { ! alive "$tool_pid"; }
wait_for tool_ended || late "Ende nach SIGTERM"
status=0
wait "$tool_pid" || status=$?
if [ "$status" -ne 0 ]; then
    grep -v -e '^\[' "$work/tool.log" | tail -n 20 >&2 || true
    fail "kelmora-test endete nach SIGTERM mit Status $status statt 0"
fi
echo "SIGTERM beendet kelmora-test mit Status 0"
