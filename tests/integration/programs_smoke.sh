#!/usr/bin/env bash
# The two programs answer --version, start on the simulated card, carry bytes,
# and stop cleanly on SIGTERM / SIGINT; quorvel with no display says so and exits. Usage: programs_smoke.sh <quorvel> <quorvel-cardsim>
set -u
quorvel=$1
cardsim=$2
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Both answer --version with their name and the project's version, display or none.
for program in "$quorvel" "$cardsim"; do
    answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version) || fail "$program --version failed"
    [[ "$answer" =~ ^quorvel(-cardsim)?\ [0-9]+\.[0-9]+$ ]] || fail "$program --version said '$answer'"
done

# quorvel-cardsim: links appear, a plug echoes, SIGINT stops it and removes the links.
"$cardsim" --simulated-card=COM7 --wiring=plug --link-dir "$work/links" >"$work/cardsim.out" 2>&1 &
sim=$!
for _ in $(seq 400); do [ -e "$work/links/COM14" ] && break; sleep 0.05; done
[ -e "$work/links/COM7" ] && [ -e "$work/links/COM14" ] || fail "cardsim made no links: $(cat "$work/cardsim.out")"
grep -q '^Port1 COM7 /dev/pts/' "$work/cardsim.out" || fail "cardsim did not list its ports"
exec 3<>"$work/links/COM7"
# Set up through the descriptor already open: another open and close of the
# port would be a holder that goes, whose leftovers the card discards, and
# the card may notice that close only after 'ping' is on its way.
stty raw -echo 9600 <&3
printf 'ping' >&3
reply=$(timeout 20 head -c 4 <&3)
exec 3<&-
[ "$reply" = "ping" ] || fail "the plug echoed '$reply'"
kill -INT $sim
wait $sim || fail "cardsim exited with $?"
[ ! -e "$work/links/COM7" ] || fail "cardsim left its links"

# quorvel: starts on the card, stops on SIGTERM through its normal exit, which
# saves the records.
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen "$quorvel" --simulated-card \
    >"$work/quorvel.out" 2>&1 &
app=$!
sleep 2
kill -0 $app 2>/dev/null || fail "quorvel did not keep running: $(cat "$work/quorvel.out")"
kill -TERM $app
wait $app || fail "quorvel exited with $?: $(cat "$work/quorvel.out")"
grep -q 'm_PortRegistry%5B7%5D.strMinTime=18\|m_PortRegistry\[7\].strMinTime=18' \
    "$work/config/Quorvel/Quorvel.conf" || fail "quorvel saved no records"
# The same on a real X server, where Qt keeps a thread of its own for the X11
# connection: that thread must not take the signal and end the program before
# the records are saved.
rm -rf "$work/config"
cat >"$work/under-x.sh" <<'EOT'
#!/usr/bin/env bash
quorvel=$1
work=$2
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$quorvel" --simulated-card \
    >"$work/quorvel-x.out" 2>&1 &
app=$!
for _ in $(seq 600); do
    xwininfo -root -tree 2>/dev/null | grep -q 'Quorvel' && break
    kill -0 $app 2>/dev/null || exit 3
    sleep 0.05
done
xwininfo -root -tree 2>/dev/null | grep -q 'Quorvel' || { kill $app; exit 4; }
kill -TERM $app
wait $app
EOT
chmod +x "$work/under-x.sh"
xvfb-run -a -s "-screen 0 1280x1024x24" "$work/under-x.sh" "$quorvel" "$work"
status=$?
[ $status -eq 3 ] && fail "quorvel did not start under X: $(cat "$work/quorvel-x.out")"
[ $status -eq 4 ] && fail "quorvel showed no window under X"
[ $status -eq 0 ] || fail "quorvel under X exited with $status on SIGTERM: $(cat "$work/quorvel-x.out")"
grep -q 'm_PortRegistry%5B7%5D.strMinTime=18\|m_PortRegistry\[7\].strMinTime=18' \
    "$work/config/Quorvel/Quorvel.conf" || fail "quorvel under X saved no records on SIGTERM"

# quorvel with no display: one line that says so and how to run it anyway,
# and exit status 1 (not Qt's abort), whether DISPLAY is unset or names an X
# server that does not answer.
for display in "" ":$((90000 + $$ % 9999))"; do
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" XDG_CONFIG_HOME="$work/config" \
        "$quorvel" --simulated-card >"$work/nodisplay.out" 2>&1
    status=$?
    [ $status -eq 1 ] || fail "with DISPLAY='$display' quorvel exited with $status: $(cat "$work/nodisplay.out")"
    [ "$(wc -l <"$work/nodisplay.out")" -eq 1 ] || fail "more than one line: $(cat "$work/nodisplay.out")"
    grep -q '^quorvel: no display found (.*xvfb-run.*-platform vnc' "$work/nodisplay.out" ||
        fail "the line says: $(cat "$work/nodisplay.out")"
done

echo "programs start, work and stop cleanly"
