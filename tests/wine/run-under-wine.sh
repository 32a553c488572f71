#!/usr/bin/env bash
# Runs the Windows test suites of a MinGW build under Wine, with the Win32
# serial backend on COM ports that lead to the simulated card.
#
#   tests/wine/run-under-wine.sh BUILD_DIR CARDSIM [FIRST_COM]
#
# BUILD_DIR is the windows-test build, CARDSIM the Linux quorvel-cardsim.
# Every run starts from a fresh Wine prefix under BUILD_DIR/../wine:
#  - one persistent wineserver serves the whole run (without it every test
#    waits seconds for the server to let go of its output);
#  - a small preload library (pty_modem_preload.c, built here with the host's
#    C compiler) answers the modem-line requests on pseudo-terminals and keeps
#    them from becoming wineserver's controlling terminal, so that
#    WaitCommEvent behaves on them as on a serial port;
#  - the card runs with a loopback plug on every port (Port8 stalled), and
#    dosdevices/comN links to its port COMn, for COM FIRST_COM (4) to +7.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 BUILD_DIR CARDSIM [FIRST_COM]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
cardsim=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
first_com=${3:-4}
here=$(cd "$(dirname "$0")" && pwd)
work=$(dirname "$build")/wine
jobs=${JOBS:-$(nproc)}

rm -rf "$work"
mkdir -p "$work/prefix" "$work/links"

cc -shared -fPIC -O2 -Wall -Wextra -Wpedantic -Werror \
   -o "$work/pty_modem_preload.so" "$here/pty_modem_preload.c" -ldl

export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts, and no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

card_pid=""
cleanup() {
    if [ -n "$card_pid" ]; then
        kill "$card_pid" 2>/dev/null || true
        wait "$card_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# The card first, without the preload library: it is an ordinary Linux program.
# Port8 stalled: the card takes nothing from it, for the stalled-port test
# (no other test runs Port8).
"$cardsim" --simulated-card=COM"$first_com" --wiring=plug --fault 8:stall --link-dir "$work/links" \
    >"$work/cardsim.log" 2>&1 &
card_pid=$!
for _ in $(seq 1 100); do
    grep -q '^Links in' "$work/cardsim.log" 2>/dev/null && break
    kill -0 "$card_pid" 2>/dev/null || { cat "$work/cardsim.log" >&2; exit 1; }
    sleep 0.1
done
grep -q '^Links in' "$work/cardsim.log" || { echo "the card did not start" >&2; exit 1; }

export LD_PRELOAD=$work/pty_modem_preload.so
started=$SECONDS
wineserver -p
wineboot -i </dev/null >"$work/wineboot.log" 2>&1
echo "Wine prefix ready in $((SECONDS - started)) s: $WINEPREFIX"

# COM ports: Wine's own links for the machine's serial ports give way to the card's.
for n in $(seq "$first_com" $((first_com + 7))); do
    ln -sfn "$work/links/COM$n" "$WINEPREFIX/dosdevices/com$n"
done

export QUORVEL_WINE_COM=$first_com
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 120
