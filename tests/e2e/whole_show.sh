# The whole show runs to its end by itself, exits 0, and its sound is silent until the main loop
# begins and carries the module from then on.
source "$(dirname "$0")/lib.sh"
start_xvfb
prepare_workdir
start_show
wait_show 300
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
[ -s "$WORK/sound.raw" ] || fail "no sound was captured"
# Allegro streams unsigned 16-bit stereo (silence is 0x8000). The stream starts with silence,
# since nothing polls before the main loop, then carries the module.
python3 - "$WORK/sound.raw" <<'PY' || fail "captured sound is wrong"
import array, math, sys
a = array.array('H', open(sys.argv[1], 'rb').read())
first = next((i for i, v in enumerate(a) if v != 0x8000), None)
assert first is not None, "the capture is all silence"
assert first >= 2 * 4096, f"sound starts at sample {first}, within the first buffer"
music = a[first:]
rms = math.sqrt(sum((v - 0x8000) ** 2 for v in music) / len(music))
assert rms > 300, f"the module is barely audible (RMS {rms:.0f})"
print(f"silent for {first // 2} frames, then {len(music) // 2} frames of music at RMS {rms:.0f}")
PY
echo "whole_show: status 0"
