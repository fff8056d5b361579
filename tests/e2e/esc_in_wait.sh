# Holding Esc while the show waits for its tick ends it with status 0, in the phase where it was
# pressed. Arguments after the binary and the source directory: the X server's depth (24 by
# default; 8: the show runs in true colour all the same) and the phase (loop by default; logo and
# pause wait for each of their frames' ticks too).
source "$(dirname "$0")/lib.sh"
start_xvfb "${3:-24}"
prepare_workdir
phase=${4:-loop}
start_show
wait_phase "$phase" 120
sleep 1
xdotool keydown Escape
wait_show 10
xdotool keyup Escape
[ "$STATUS" -eq 0 ] || fail "status $STATUS after Esc (stderr: $(cat "$WORK/stderr.log"))"
[ "$(last_phase)" = "$phase" ] || fail "Esc in '$phase' ended the show in '$(last_phase)'"
echo "esc_in_wait: status 0 in '$phase'"
