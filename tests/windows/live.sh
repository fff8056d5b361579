#!/usr/bin/env bash
# The Windows program under Wine on a 1920x1080 X server: it fills the screen with logo:1 at twice
# its size, centred on black; Esc held in the main loop ends it with status 0; a picture its check
# refuses is named in a message box before any screen opens, and the status is 1.
# Usage: live.sh STREAM8_EXE SOURCE_DIR LINUX_RECORDER (WINEPREFIX names Wine's prefix)
set -u
EXE=$(realpath "$1")
source "$(dirname "$0")/../e2e/lib.sh" /bin/false "$2" "$3"
BIN=$WORK/stream8-under-wine
printf '#!/bin/sh\nexec wine "%s" "$@"\n' "$EXE" >"$BIN"
chmod +x "$BIN"
export WINEDEBUG=${WINEDEBUG:--all}

start_xvfb 24 1920x1080
# A Wine session started earlier without this display (the prefix's set-up, the recorders) would
# serve the show a desktop that has no X driver: "cannot start the graphics library". The show
# starts a session of its own on this display.
wineserver -k 2>/dev/null || true  # none may be running
wineserver -w 2>/dev/null || true
prepare_workdir
start_show
# Wine hands a present to the X server after it returns: the capture waits for later presents
# (the logo's frames are all alike).
wait_frame logo:4 240
sleep 1
# 1920x1080 holds the show twice its size: 1280x960 at (320,60).
screen_shows logo:1 2 320 60
# Under Wine on a busy machine the holds run behind their clock, and a hold that is behind does
# not wait, so Esc is first read in the main loop.
wait_phase loop 180
hold_esc_until_end 30
[ "$STATUS" = 0 ] || fail "Esc: status $STATUS, expected 0"
grep -q '^esc ' "$WORK/phases.log" || fail "the show did not log the Esc it ended on"
echo "Esc ended the show (status 0)"

# A picture cut short: refused by its check, named in a message box; no screen opens.
head -c 3000 "$WORK/run/ruvo/logo.jpg" >"$WORK/cut.jpg"
mv "$WORK/cut.jpg" "$WORK/run/ruvo/logo.jpg"
start_show
box=
for _ in $(seq 600); do
    box=$(xdotool search --name '^stream8$' 2>/dev/null | head -n 1 || true)  # none yet: status 1
    [ -n "$box" ] && break
    kill -0 "$SHOW_PID" 2>/dev/null || break
    sleep 0.1
done
[ -n "$box" ] || fail "no message box (the show ended with: $(tr -d '\r' <"$WORK/stderr.log" | grep stream8))"
grep -q 'cannot start: .*logo.jpg' "$WORK/stderr.log" || fail "the refusal does not name logo.jpg"
[ ! -s "$WORK/frames.log" ] || fail "a frame was presented before the refusal"
# The box may be mapped before it takes keys: Return until it is gone.
for _ in $(seq 15); do
    xdotool windowfocus "$box" 2>/dev/null || true  # the box may just have closed
    xdotool key Return
    sleep 2
    kill -0 "$SHOW_PID" 2>/dev/null || break
done
wait_show 10
[ "$STATUS" = 1 ] || fail "refused picture: status $STATUS, expected 1"
echo "the refused picture was named in a message box (status 1): $(grep -o 'cannot start: .*' "$WORK/stderr.log" | tr -d '\r')"

# The program has no console of its own: --help and a usage fault reach a command prompt's output
# (here a pipe) all the same, with their statuses.
status=0
help=$(wine "$EXE" --help 2>&1 | tr -d '\r') || status=$?
[ "$status" = 0 ] && grep -q '^usage: stream8 ' <<<"$help" || fail "--help: status $status, said: $help"
status=0
fault=$(wine "$EXE" --scale 9 2>&1 | tr -d '\r') || status=$?
[ "$status" = 2 ] && grep -qx "stream8: bad --scale '9': a whole number 1..8 (try --help)" <<<"$fault" ||
    fail "--scale 9: status $status, said: $fault"
echo "--help and a usage fault reach the command prompt's output (statuses 0 and 2)"
