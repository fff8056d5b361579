# Holding Esc ends the show with status 0 in the phase where it was pressed, gives the full screen
# back at once and lets the music die away without a click. Arguments after the binary, the
# source directory and the recorder: the X server's depth (24 by default; 8: the show runs in
# true colour all the same) and the phase (loop by default: a scene frame or the main loop's
# wait; logo and pause wait for each of their shown frames' ticks; fade is a pass of its own).
# The key goes down as soon as the phase has shown its 60th frame; should the machine be so busy
# that the phase is over before the key can be pressed, the run is reported as late and the show
# is played again (three times at most).
source "$(dirname "$0")/lib.sh"
depth=${4:-24}
phase=${5:-loop}
start_xvfb "$depth"
prepare_workdir
for try in 1 2 3; do
    use_realtime_sound
    start_show
    wait_frame "$phase:60" 120
    [ "$(last_phase)" = "$phase" ] && break
    echo "late: the show had left '$phase' for '$(last_phase)' before Esc could go down (try $try)"
    [ "$try" -eq 3 ] && fail "three runs too late to press Esc in '$phase'"
    kill -9 "$SHOW_PID"; wait "$SHOW_PID" 2>/dev/null || true
    kill "$SINK_PID" 2>/dev/null || true; wait "$SINK_PID" 2>/dev/null || true
    rm -f "$WORK/sound.fifo" "$WORK/sound.raw"
done
hold_esc_until_end
[ "$STATUS" -eq 0 ] || fail "status $STATUS after Esc (stderr: $(cat "$WORK/stderr.log"))"
finish_realtime_sound
python3 - "$WORK/phases.log" "$phase" <<'PY' || fail "phases: $(tr '\n' ' ' <"$WORK/phases.log")"
import sys
rows = [l.split() for l in open(sys.argv[1]) if not l.startswith("timing ")]
t = {name: float(s) for name, s in rows}
names = [name for name, _ in rows]
assert names[-2:] == ["esc", "released"], "the show did not end on Esc"
assert names[-3] == sys.argv[2], f"Esc in '{sys.argv[2]}' ended the show in '{names[-3]}'"
gap = 1000 * (t["released"] - t["esc"])
print(f"the full screen was given up {gap:.0f} ms after Esc was seen")
# The sound's play-out (250 ms) comes after the release: a release behind it shows, a busy
# machine's slower mode switch does not.
assert gap <= 200, "the screen was held too long"
PY
# The music ends in silence (the logo is silent all along): ramped down to exactly 0 within
# 50 ms of its last loud moment, with no step into the silence.
sound_ends_quiet 0 -63
[ "$phase" = logo ] || python3 - "$WORK/sound.raw" <<'PY' || fail "the music does not ramp to silence"
import array, math, sys
a = array.array('H', open(sys.argv[1], 'rb').read())
rate = 2 * 44100
end = len(a)
while end > 0 and a[end - 1] == 0x8000:
    end -= 1
level = lambda v: 20 * math.log10(max(abs(v - 0x8000), 1) / 32768)
loud = end
while loud > 0 and level(a[loud - 1]) < -30:
    loud -= 1
ms = (end - loud) * 1000 / rate
print(f"from the last sample above -30 dBFS to silence: {ms:.0f} ms")
assert loud > 0, "no music before the silence"
assert ms <= 50, "the ramp to silence is too slow"
PY
echo "esc_in_wait: status 0 in '$phase'"
