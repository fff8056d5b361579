# Start-up failures end with a message and a non-zero status, never a crash.
source "$(dirname "$0")/lib.sh"
prepare_workdir
# No display at all: Allegro cannot start.
(unset DISPLAY WAYLAND_DISPLAY; cd "$WORK/run" && exec "$BIN") >"$WORK/out1" 2>&1
status=$?
[ "$status" -eq 255 ] || fail "no display: status $status, expected -1 (255)"
grep -qx "stream8: cannot open a display: DISPLAY is not set" "$WORK/out1" || fail "no display: message $(cat "$WORK/out1")"

# Starts the show and expects the message box to show $1, then status 1 with $1 on stderr.
expect_fatal() {
    start_show
    # Allegro shows the message in a box (xmessage) and waits for it to be closed.
    for _ in $(seq 100); do pgrep -P "$SHOW_PID" -x xmessage >/dev/null && break; sleep 0.1; done
    pgrep -a -P "$SHOW_PID" -x xmessage | grep -qF "$1" || fail "no message box saying '$1'"
    pkill -P "$SHOW_PID" -x xmessage
    wait_show 20
    [ "$STATUS" -eq 1 ] || fail "'$1': status $STATUS"
    grep -qF "$1" "$WORK/stderr.log" || fail "'$1' not on stderr"
}

# A missing picture: named in the message, status 1, the screen back in text mode.
start_xvfb
rm "$WORK/run/ruvo/face3.jpg"
expect_fatal "stream8: cannot start: ruvo/face3.jpg: file is missing"
cp "$SRC/ruvo/face3.jpg" "$WORK/run/ruvo/"
# A BMP header claiming 37837x37838 pixels would wrap the loader's size arithmetic.
printf '\xCD\x93\x00\x00\xCE\x93\x00\x00' | dd of="$WORK/run/ruvo/tile.bmp" bs=1 seek=18 conv=notrunc 2>/dev/null
expect_fatal "ruvo/tile.bmp: claims 37837x37838 pixels; pictures of 1x1 to 8192x8192 are accepted"
echo "startup_failures: ok"
