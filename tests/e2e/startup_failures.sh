# Start-up failures end with a message and a non-zero status, never a crash.
source "$(dirname "$0")/lib.sh"
prepare_workdir
# No display at all: Allegro cannot start.
status=0
(unset DISPLAY WAYLAND_DISPLAY; cd "$WORK/run" && exec "$BIN") >"$WORK/out1" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "no display: status $status, expected 1"
grep -qx "stream8: cannot open a display: DISPLAY is not set" "$WORK/out1" || fail "no display: message $(cat "$WORK/out1")"
start_xvfb


# A JPEG whose frame and scan name components 4..6: the first JPEG a process loads would divide by
# a sampling the loader never set. The picture check names it before any decoder runs: the status
# is 1, nothing hangs, and the screen was never opened, so the next start takes the keyboard and
# runs (Esc held in the logo's wait ends it).
python3 - "$WORK/run/ruvo/afro.jpg" <<'PY'
import struct, sys
def seg(m, body): return b"\xff" + bytes([m]) + struct.pack(">H", len(body) + 2) + body
f = b"\xff\xd8" + seg(0xE0, b"JFIF\0\1\1\0\0\1\0\1\0\0") + seg(0xDB, bytes([0]) + bytes([1] * 64))
f += seg(0xC0, bytes([8]) + struct.pack(">HH", 480, 270) + bytes([3, 4, 0x11, 0, 5, 0x11, 0, 6, 0x11, 0]))
f += seg(0xC4, bytes([0x00, 1] + [0] * 15 + [0]) + bytes([0x10, 1] + [0] * 15 + [0]))
f += seg(0xDA, bytes([3, 4, 0, 5, 0, 6, 0, 0, 63, 0])) + bytes(4096) + b"\xff\xd9"
open(sys.argv[1], "wb").write(f)
PY
# The picture check runs in the probe's child: its refusal reaches the show only through the
# probe.
crash="stream8: cannot start: ruvo/afro.jpg: its frame has no component 1; the loader reads components 1 (greyscale) or 1, 2 and 3"
# The probe never switches itself off: with TMPDIR relative, missing or /proc, and with standard
# input and output (or all three standard descriptors) closed, the file is still named before
# the screen opens, status 1; a probe that cannot start at all (no process left for its child)
# keeps the screen closed with its reason.
expect_refusal() {
    local want=$1
    shift
    (cd "$WORK/run" && "$@") >"$WORK/stdout.log" 2>"$WORK/stderr.log" &
    SHOW_PID=$!
    wait_show 30
    [ "$STATUS" -eq 1 ] || fail "$*: status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
    [ -z "$want" ] || grep -qF "$want" "$WORK/stderr.log" || fail "$*: no '$want' in: $(cat "$WORK/stderr.log")"
    ! pgrep -x xmessage >/dev/null || fail "$*: a message box opened"
}
# A missing picture, and a BMP header claiming 37837x37838 pixels (it would wrap the loader's size
# arithmetic): named, status 1, the screen never opened.
cp "$WORK/run/ruvo/afro.jpg" "$WORK/crafted.jpg"; cp "$SRC/ruvo/afro.jpg" "$WORK/run/ruvo/"
rm "$WORK/run/ruvo/face3.jpg"
expect_refusal "stream8: cannot start: ruvo/face3.jpg: file is missing" "$BIN"
cp "$SRC/ruvo/face3.jpg" "$WORK/run/ruvo/"
printf '\xCD\x93\x00\x00\xCE\x93\x00\x00' | dd of="$WORK/run/ruvo/tile.bmp" bs=1 seek=18 conv=notrunc 2>/dev/null
expect_refusal "ruvo/tile.bmp: claims 37837x37838 pixels; pictures of 1x1 to 8192x8192 are accepted" "$BIN"
cp "$SRC/ruvo/tile.bmp" "$WORK/run/ruvo/"
cp "$WORK/crafted.jpg" "$WORK/run/ruvo/afro.jpg"
expect_refusal "$crash" "$BIN"
# A relative TMPDIR naming a folder that exists (ruvo, in the working directory) is passed over
# like the others: nothing of the probe's is left in it.
for tmp in tmp ruvo /nonexistent /proc; do
    expect_refusal "$crash" env TMPDIR=$tmp "$BIN"
done
[ -z "$(ls "$WORK/run/ruvo" | grep stream8)" ] || fail "the probe left files in ruvo/: $(ls "$WORK/run/ruvo")"
expect_refusal "$crash" bash -c 'exec "$0" <&- >&-' "$BIN"
expect_refusal "" bash -c 'exec "$0" <&- >&- 2>&-' "$BIN"
# Started without a terminal (from a desktop's menu), the refusal also shows in a small window of
# its own; the show still ends at once, status 1, and a key closes the window.
(cd "$WORK/run" && exec env -u STREAM8_NO_DIALOG "$BIN") >"$WORK/stdout.log" 2>"$WORK/stderr.log" &
SHOW_PID=$!
wait_show 30
[ "$STATUS" -eq 1 ] || fail "refusal window: status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
win=$(timeout 20 xdotool search --sync --name "^stream8: cannot start$" | head -1 || true)
[ -n "$win" ] || fail "no window shows the refusal"
import -window "$win" "$WORK/dialog.png" || fail "no picture of the refusal window"
[ "$(convert "$WORK/dialog.png" -format '%[fx:minima.r < 0.5 && maxima.r > 0.5]' info:)" = 1 ] ||
    fail "the refusal window shows no text"
# Return, once a second, to the window of that name until it is gone (on a busy machine the
# first key may find the window it was aimed at replaced: BadWindow).
for i in $(seq 100); do
    win=$(xdotool search --name "^stream8: cannot start$" 2>/dev/null | head -1 || true)
    [ -n "$win" ] || break
    [ $((i % 10)) -ne 1 ] || xdotool key --window "$win" Return 2>/dev/null || true
    sleep 0.1
done
! xdotool search --name "^stream8: cannot start$" >/dev/null || fail "a key does not close the refusal window"
share_with_nobody
expect_refusal "stream8: cannot start: the start-up probe could not be started: Resource temporarily unavailable" \
    "${AS_NOBODY[@]}" bash -c 'ulimit -u 1; exec "$0"' "$NOBODY_BIN"
cp "$SRC/ruvo/afro.jpg" "$WORK/run/ruvo/"
start_show
wait_frame logo:60 60
hold_esc_until_end 30
[ "$STATUS" -eq 0 ] || fail "the start after the crash: status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
echo "startup_failures: ok"
