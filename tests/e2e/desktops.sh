# The show on desktops of several sizes. Full screen, it covers the desktop at its own size and
# shows each frame at the largest whole scale that fits, centred on black: x4 at (640,120) on
# 3840x2160, where its waits still sleep; --scale 1 forces x1. --window opens a window of the
# largest scale that fits with its frame (1280x960 on 1920x1080), and closing it ends the show
# as Esc does. A desktop smaller than the show, a second copy of the show and bad options are
# refused in one line.
source "$(dirname "$0")/lib.sh"
prepare_workdir
# Runs the show with "$@" and expects one line saying $1 and status $2.
expect_line() {
    local want=$1 status=$2
    shift 2
    local got=0
    (cd "$WORK/run" && exec "$BIN" "$@") >"$WORK/out" 2>&1 || got=$?
    [ "$got" -eq "$status" ] || fail "$*: status $got, expected $status ($(cat "$WORK/out"))"
    [ "$(wc -l <"$WORK/out")" -eq 1 ] && grep -qF "$want" "$WORK/out" || fail "$*: said: $(cat "$WORK/out")"
}

start_xvfb 24 3840x2160
start_show
wait_frame logo:60 60
screen_shows logo:1 4 640 120
wait_frame loop:300 60
hold_esc_until_end
[ "$STATUS" -eq 0 ] || fail "3840x2160: status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
waits_sleep
frames_match_recorder
kill "$XVFB_PID"

start_xvfb 24 1920x1080
start_show --scale 1
wait_frame logo:60 60
screen_shows logo:1 1 640 300
# A second copy cannot take the keyboard the first holds, and says so.
expect_line "stream8: cannot take the keyboard (Can not grab keyboard): is another copy of the show running?" 1
hold_esc_until_end
[ "$STATUS" -eq 0 ] || fail "--scale 1: status $STATUS"

start_show --window
wait_frame logo:60 60
size=$(xwininfo -name stream8 | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}')
[ "$size" = 1280x960 ] || fail "--window on 1920x1080: a window of $size"
python3 "$(dirname "$0")/close_window.py" || fail "cannot close the window"
wait_show 10
[ "$STATUS" -eq 0 ] || fail "closing the window: status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
[ "$(last_phase)" = esc ] || fail "closing the window was not taken as Esc"
kill "$XVFB_PID"

expect_line "stream8: unknown option '--fullscreen' (try --help)" 2 --fullscreen
expect_line "stream8: bad --scale 'x': a whole number 1..8" 2 --scale x
expect_line "stream8: --scale needs a value (try --help)" 2 --scale
expect_line "stream8: bad --scale '0': a whole number 1..8" 2 --scale 0
expect_line "stream8: bad --scale '9': a whole number 1..8" 2 --scale 9
expect_line "stream8: bad --scale '-1': a whole number 1..8" 2 --scale=-1
(cd "$WORK/run" && "$BIN" --help) >"$WORK/help" || fail "--help failed"
grep -q -- "--window" "$WORK/help" || fail "--help does not list --window"
start_xvfb 24 600x400
expect_line "stream8: the desktop is 600x400, smaller than the show's 640x480" 1
echo "desktops: ok"
