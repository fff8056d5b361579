# The whole show runs to its end by itself, exits 0, and its sound is silent until the main loop
# begins and carries the module from then on.
source "$(dirname "$0")/lib.sh"
start_xvfb
prepare_workdir
start_show
wait_show 300
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
[ -s "$WORK/sound.raw" ] || fail "no sound was captured"
# 16-bit stereo samples: the stream starts with silence (nothing polls before the main loop),
# then carries the module.
python3 - "$WORK/sound.raw" <<'PY' || fail "captured sound is wrong"
import array, sys
a = array.array('h', open(sys.argv[1], 'rb').read())
first = next((i for i, v in enumerate(a) if v != 0), None)
assert first is not None, "the capture is all silence"
assert first >= 2 * 4096, f"sound starts at sample {first}, before the first buffer of silence ended"
loud = sum(1 for v in a[first:] if abs(v) > 1000)
assert loud > len(a[first:]) // 20, f"the module is barely audible ({loud} loud samples)"
print(f"silent for {first // 2} frames, then {len(a[first:]) // 2} frames of music")
PY
echo "whole_show: status 0"
