#!/usr/bin/env bash
# Quorvel as an operator meets it, on a virtual X server under a window manager
# (run by under_window_manager.sh): a configuration file loaded through the
# chooser by a typed name, Test > Start on the simulated card, then a SIGTERM
# while the test runs. Quorvel must stop the test, save the records and exit
# with status 0 within 5 seconds; the profile must hold the loaded setting.
# Keys reach it through the X server, as from a keyboard.
# Usage: signal_during_test.sh <quorvel>
set -u
quorvel=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    echo "--- quorvel said:"
    cat "$work/quorvel.out" 2>/dev/null
    exit 1
}
command -v xdotool >/dev/null || fail "xdotool is not installed (make deps)"

# Prints the id of a visible window whose title matches $1, looking for it at
# most $2 tenths of a second (a window that goes while the list is read makes
# one look fail; the next one goes on).
window() {
    for _ in $(seq "${2:-200}"); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
}
# Chooses a menu item of the main window by the menu's and the item's
# mnemonics, as keys, until the window titled $3 shows: on a busy machine the
# menu may not yet be open when the item's key comes. Prints that window's id.
choose() {
    for _ in 1 2 3; do
        xdotool windowfocus --sync "$main" 2>/dev/null
        xdotool key "alt+$1"
        sleep 0.5
        xdotool key "$2"
        shown=$(window "$3" 50)
        [ -n "$shown" ] && { echo "$shown"; return; }
        xdotool key Escape Escape  # whatever menu is open
    done
}

# Port1 at 19200 bit/s (baud index 7); the other ports as they come by default.
{
    printf 'SERIAL0 7 3 4 0 2 3 0 1 2 0 2 0 1 0 3\n'
    for port in 1 2 3 4 5 6 7; do
        printf 'SERIAL%d 6 3 4 0 2 %d 0 0 1 1 1 0 17 0 19\n' $port $((3 + port))
    done
} >"$work/settings.txt"

XDG_CONFIG_HOME="$work/config" "$quorvel" --simulated-card >"$work/quorvel.out" 2>&1 &
app=$!
main=$(window '^Quorvel - ')
[ -n "$main" ] || fail "the main window did not show"

# Config > Load: the chooser takes the name typed into it.
chooser=$(choose c l '^Open$')
[ -n "$chooser" ] || fail "Config > Load showed no chooser"
xdotool key ctrl+a
xdotool type --delay 5 "$work/settings.txt"
xdotool key Return
for _ in $(seq 100); do
    [ -z "$(xdotool search --onlyvisible --name '^Open$' 2>/dev/null)" ] && break
    sleep 0.1
done

# Test > Start: the console shows while Port1 is open.
console=$(choose t s '^Serial Communication Test$')
[ -n "$console" ] || fail "Test > Start showed no console"
[ -z "$(xdotool search --onlyvisible --name '^Error$' 2>/dev/null)" ] || fail "a message showed"

kill -TERM $app
for _ in $(seq 50); do
    kill -0 $app 2>/dev/null || break
    sleep 0.1
done
if kill -0 $app 2>/dev/null; then
    visible=$(xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null | tr '\n' '|')
    fail "quorvel still runs 5 s after SIGTERM during a test; windows: $visible"
fi
wait $app
status=$?
[ $status -eq 0 ] || fail "quorvel exited with status $status"
profile="$work/config/Quorvel/Quorvel.conf"
grep -q 'm_PortRegistry%5B0%5D.nBaud=7' "$profile" ||
    fail "the profile does not hold the loaded rate: $(grep nBaud "$profile" 2>/dev/null | head -1)"
echo "SIGTERM during a test stopped it, saved the records and ended Quorvel"
