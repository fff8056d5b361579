# On a 16-bit desktop the show draws at 32 bits and the library converts each present: a capture
# of scene 1 (the plasma relief over the faces) matches one of the recorder's frames of that scene
# within the 16-bit rounding. Drawn at 16 bits, the relief's faces were missing.
# Usage: depth16_relief.sh BINARY SOURCE_DIR RECORDER
source "$(dirname "$0")/lib.sh"
REC=$3
start_xvfb 16
prepare_workdir
start_show
wait_phase loop 60
sleep 2.8  # scene 1 runs from 2.7 to 5.4 s into the main loop: eight captures over two seconds
ffmpeg -hide_banner -loglevel error -f x11grab -draw_mouse 0 -framerate 4 -video_size 1024x768 -i "$DISPLAY" \
    -frames:v 8 -vf crop=640:480:192:144 -pix_fmt rgb24 "$WORK/capture-%d.png" || fail "no screen capture"
xdotool keydown Escape
wait_show 10
xdotool keyup Escape
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
[ "$(last_phase)" = loop ] || fail "the capture was not taken in the main loop"

"$REC" --no-video --quiet --data "$WORK/run/ruvo" --frames loop:160-319 --frames-dir "$WORK/ref" \
    >"$WORK/record.log" 2>&1 || fail "the recorder failed: $(cat "$WORK/record.log")"
# PSNR of each capture against each frame of scene 1: 16-bit rounding alone keeps the best
# match above 30 dB.
best=0
for c in "$WORK"/capture-*.png; do
    ffmpeg -hide_banner -loglevel error -i "$c" -framerate 59 -pattern_type glob -i "$WORK/ref/loop-*.png" \
        -lavfi "[0:v]loop=loop=-1:size=1[c];[c][1:v]psnr=stats_file=$WORK/psnr.log:shortest=1" \
        -f null - || fail "cannot compare the capture"
    best=$(sed -n 's/.*psnr_avg:\([0-9.inf]*\).*/\1/p' "$WORK/psnr.log" | sort -g | tail -n 1 |
           python3 -c "import sys; print(max(float(sys.stdin.read() or 0), float(sys.argv[1])))" "$best")
done
python3 -c "import sys; sys.exit(not float(sys.argv[1]) >= 30)" "$best" ||
    fail "no capture matches a frame of scene 1 (best PSNR $best dB)"
echo "depth16_relief: a capture matches scene 1 at $best dB"
