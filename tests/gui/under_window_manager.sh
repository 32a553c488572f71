#!/usr/bin/env bash
# Runs a GUI test program on a virtual X server (Xvfb) under a real window
# manager (openbox), for what only a window manager shows: which window stays
# above which, what the task bar is told, what a close box does.
# Usage: under_window_manager.sh <program> [arguments...]
set -u
program=$1
shift
work=$(mktemp -d)
cleanup() {
    [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
    [ -n "${server:-}" ] && kill "$server" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
for tool in Xvfb openbox; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (make deps)"; exit 1; }
done

# Xvfb takes a free display and writes its number once it accepts connections.
mkfifo "$work/ready"
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/ready" >"$work/xvfb.log" 2>&1 &
server=$!
if ! read -r -t 30 display <"$work/ready"; then
    echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.log")"
    exit 1
fi
export DISPLAY=":$display"

# openbox runs its start-up command once it manages the screen.
mkfifo "$work/managing"
XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
    openbox --sm-disable --startup "sh -c 'echo up >$work/managing'" >"$work/openbox.log" 2>&1 &
wm=$!
if ! read -r -t 30 _ <"$work/managing"; then
    echo "FAIL: openbox did not start: $(cat "$work/openbox.log")"
    exit 1
fi

# No session bus belongs to this X server; without an address libdbus would
# try to launch one for it.
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    "$program" "$@"
status=$?
if [ $status -ne 0 ]; then
    echo "--- openbox said:"
    cat "$work/openbox.log"
fi
exit $status
