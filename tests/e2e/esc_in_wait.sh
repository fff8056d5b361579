# Holding Esc while the main loop runs ends the show with status 0. With a third argument, the
# X server runs at that depth (8: the show runs in true colour all the same, past the smear).
source "$(dirname "$0")/lib.sh"
start_xvfb "${3:-24}"
prepare_workdir
start_show
# The logo phase and the smear take a few seconds; by 12 s the paced main loop has long begun.
sleep 12
kill -0 "$SHOW_PID" 2>/dev/null || fail "the show ended before Esc was pressed"
xdotool keydown Escape
wait_show 10
xdotool keyup Escape
[ "$STATUS" -eq 0 ] || fail "status $STATUS after Esc (stderr: $(cat "$WORK/stderr.log"))"
echo "esc_in_wait: status 0"
