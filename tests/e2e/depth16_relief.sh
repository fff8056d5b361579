# On a 16-bit desktop the show draws at 32 bits and the library converts each present: every frame
# it presents is the recorder's frame of the same tick, and a capture of scene 1 (the plasma
# relief over the faces) matches the recorder's frame within the 16-bit rounding. Drawn at 16
# bits, the relief's faces were missing.
source "$(dirname "$0")/lib.sh"
start_xvfb 16
prepare_workdir
start_show
wait_frame loop:200 90
label=$(tail -n 1 "$WORK/frames.log" | cut -d' ' -f1)
import -window root -crop 640x480+192+144 +repage "$WORK/capture.png" || fail "no screen capture"
# The capture shows a frame presented between these two (however long a busy machine took).
last=$(tail -n 1 "$WORK/frames.log" | cut -d' ' -f1)
wait_show 120
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
frames_match_recorder all
n=${label#loop:}
m=${last#loop:}
[ "${last%%:*}" = loop ] || m=2099
"$REC" --no-video --quiet --data "$WORK/run/ruvo" --frames "loop:$((n - 1))-$((m + 1))" --frames-dir "$WORK/ref" \
    >"$WORK/record.log" 2>&1 || fail "the recorder failed: $(cat "$WORK/record.log")"
# The capture began once the frame log reached loop:N and ended before the frame after the last
# logged then: it shows one of those.
best=0
for ref in "$WORK"/ref/loop-*.png; do
    # compare's status is 1 when the pictures differ at all: its figure says by how much.
    psnr=$({ compare -metric PSNR "$WORK/capture.png" "$ref" null: 2>&1 || true; } | awk '{print $1}')
    best=$(python3 -c "import sys; v = sys.argv[2]; print(max(float(sys.argv[1]), 99.0 if v == 'inf' else float(v)))" "$best" "$psnr")
done
python3 -c "import sys; sys.exit(not float(sys.argv[1]) >= 30)" "$best" ||
    fail "the capture matches no frame from $label to $last (best PSNR $best dB)"
echo "depth16_relief: a capture between $label and $last matches at $best dB"
