# The whole show runs to its end by itself, exits 0, and its sound is silent until the main loop
# begins and carries the module from then on.
source "$(dirname "$0")/lib.sh"
start_xvfb
prepare_workdir
started=$(date +%s.%N)
start_show
wait_show 300
elapsed=$(python3 -c "import sys; print(round(float(sys.argv[1]) - float(sys.argv[2]), 2))" "$(date +%s.%N)" "$started")
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
# Every main-loop frame waits for its tick: 2099 frames cannot pass in less than 35.58 s.
python3 -c "import sys; sys.exit(float(sys.argv[1]) < 35.5)" "$elapsed" || fail "the show ran too fast: $elapsed s"
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
echo "whole_show: status 0 after $elapsed s"
