# Start-up failures end with a message and a non-zero status, never a crash.
source "$(dirname "$0")/lib.sh"
prepare_workdir
# No display at all: Allegro cannot start.
(unset DISPLAY WAYLAND_DISPLAY; cd "$WORK/run" && exec "$BIN") >"$WORK/out1" 2>&1
status=$?
[ "$status" -eq 255 ] || fail "no display: status $status, expected -1 (255)"
[ -s "$WORK/out1" ] || fail "no display: no message"
# A missing picture: named in the message, status 1, the screen back in text mode.
start_xvfb
rm "$WORK/run/ruvo/face3.jpg"
start_show
# Allegro shows the message in a box (xmessage) and waits for it to be closed.
for _ in $(seq 100); do pgrep -P "$SHOW_PID" -x xmessage >/dev/null && break; sleep 0.1; done
pgrep -a -P "$SHOW_PID" -x xmessage | grep -q "face3.jpg: file is missing" || fail "no message box naming the picture"
pkill -P "$SHOW_PID" -x xmessage
wait_show 20
[ "$STATUS" -eq 1 ] || fail "missing picture: status $STATUS"
grep -q "face3.jpg: file is missing" "$WORK/stderr.log" || fail "missing picture not named on stderr"
echo "startup_failures: ok"
