# The whole show runs to its end by itself and exits 0. Every phase shows one frame a tick, so
# each lasts at least its frames' time (lower bounds only: a loaded machine can only make it
# slower). The sound, taken by a sink that drains it as a sound card would, is silent until the
# main loop begins, carries the module from then on, is still heard seconds before the end while
# it fades, and ends quiet: no click in its last 10 ms.
source "$(dirname "$0")/lib.sh"
start_xvfb
prepare_workdir
use_realtime_sound
start_show
wait_show 300
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
finish_realtime_sound
python3 - "$WORK/phases.log" <<'PY' || fail "a phase ran faster than its clock: $(tr '\n' ' ' <"$WORK/phases.log")"
import sys
t = dict(line.split() for line in open(sys.argv[1]))
frames = {"logo": ("smear", 500), "smear": ("loop", 600), "loop": ("pause", 2099),
          "pause": ("fade", 500), "fade": ("end", 900)}
for name, (following, n) in frames.items():
    took = float(t[following]) - float(t[name])
    print(f"{name}: {n} frames in {took:.2f} s")
    assert took >= (n - 2) / 59.0, f"{name} took {took:.2f} s"
PY
[ -s "$WORK/sound.raw" ] || fail "no sound was captured"
# Allegro streams unsigned 16-bit stereo (silence is 0x8000) at 44100 Hz here.
python3 - "$WORK/sound.raw" <<'PY' || fail "captured sound is wrong"
import array, math, sys
a = array.array('H', open(sys.argv[1], 'rb').read())
first = next((i for i, v in enumerate(a) if v != 0x8000), None)
assert first is not None, "the capture is all silence"
assert first >= 2 * 4096, f"sound starts at sample {first}, within the first buffer"
music = a[first:]
rms = math.sqrt(sum((v - 0x8000) ** 2 for v in music) / len(music))
assert rms > 300, f"the module is barely audible (RMS {rms:.0f})"
rate = 2 * 44100
late = a[-6 * rate:-4 * rate]
late_rms = math.sqrt(sum((v - 0x8000) ** 2 for v in late) / len(late))
assert late_rms > 30, f"the fade is not heard 5 s before the end (RMS {late_rms:.1f})"
tail_peak = max(abs(v - 0x8000) for v in a[-rate // 100:])
assert tail_peak <= 32768 * 10 ** (-50 / 20), f"the last 10 ms peak at {tail_peak}: a click"
db = 20 * math.log10(max(tail_peak, 1) / 32768)
print(f"silent for {first // 2} frames, then {len(music) // 2} frames of music at RMS {rms:.0f}; "
      f"RMS {late_rms:.0f} 5 s before the end; last 10 ms peak {tail_peak} ({db:.1f} dBFS)")
PY
echo "whole_show: status 0"
