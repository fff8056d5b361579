# The show runs on in silence, saying why in one line and nothing else (none of the sound
# library's own complaints), when its module has two events on one
# channel in one row (in a writable and, as an unprivileged user, in a read-only working
# directory: nothing may be written there) and when no sound device can be opened (naming a bad
# module there too).
source "$(dirname "$0")/lib.sh"
start_xvfb
prepare_workdir
# ALSA's null device: an unprivileged user cannot write the capture file of lib.sh.
echo 'pcm.!default { type null }' >"$WORK/home/.asoundrc"
python3 - "$WORK/run/ruvo/80S5.IT" <<'PY'
import struct, sys
pattern = bytes([0x81, 3, 60, 1, 0x81, 3, 62, 1, 0]) + bytes(63)  # row 0: channel 1 twice
sample = [100] * 32 + [156] * 32
hdr = b"IMPM" + b"bad".ljust(26, b"\0") + struct.pack("<HHHHHHHHH", 0x1004, 2, 0, 1, 1, 0x214, 0x214, 9, 0)
hdr += bytes([128, 48, 6, 125, 128, 0]) + struct.pack("<HII", 0, 0, 0) + bytes([32] + [160] * 63) + bytes([64] * 64)
smp_at = len(hdr) + 2 + 8
pat_at = smp_at + 0x50
data_at = pat_at + 8 + len(pattern)
f = hdr + bytes([0, 255]) + struct.pack("<II", smp_at, pat_at)
f += b"IMPS" + bytes(13) + bytes([64, 0x11, 64]) + bytes(26) + bytes([1, 32])
f += struct.pack("<IIIIIII", 64, 0, 64, 8363 * 4, 0, 0, data_at) + bytes(4)
f += struct.pack("<HHI", len(pattern), 64, 0) + pattern + bytes(sample)
open(sys.argv[1], "wb").write(f)
PY
cp "$WORK/run/ruvo/80S5.IT" "$WORK/bad.IT"

# Starts the show as "$@" (a user switch or nothing) in directory $1, waits for its line on
# stderr, then holds Esc; the show must still be running and end with status 0.
run_until_line() {
    local dir=$1 line=$2
    shift 2
    (cd "$dir" && exec "$@" "$BIN") >"$WORK/stdout.log" 2>"$WORK/stderr.log" &
    SHOW_PID=$!
    for _ in $(seq 300); do grep -q '^stream8:' "$WORK/stderr.log" && break; sleep 0.1; done
    sleep 1
    if ! kill -0 "$SHOW_PID" 2>/dev/null; then
        wait_show 1
        fail "$dir: the show ended (status $STATUS): $(cat "$WORK/stderr.log")"
    fi
    xdotool keydown Escape
    wait_show 20
    xdotool keyup Escape
    [ "$STATUS" -eq 0 ] || fail "$dir: status $STATUS after Esc (stderr: $(cat "$WORK/stderr.log"))"
    [ "$(cat "$WORK/stderr.log")" = "$line" ] || fail "$dir: expected only '$line', got: $(cat "$WORK/stderr.log")"
}

bad="stream8: ruvo/80S5.IT: cannot load the module (pattern 0, row 0: two events on channel 1); the show runs silent"
run_until_line "$WORK/run" "$bad"
[ -z "$(ls "$WORK/run" | grep -v '^ruvo$')" ] || fail "files were written into the working directory: $(ls "$WORK/run")"

share_with_nobody
chmod 555 "$WORK/run"
BIN=$NOBODY_BIN run_until_line "$WORK/run" "$bad" "${AS_NOBODY[@]}"
chmod 755 "$WORK/run"

# No sound device: ALSA's default names a card that does not exist.
echo 'pcm.!default { type hw; card 99 }' >"$WORK/home/.asoundrc"
cp "$SRC/ruvo/80S5.IT" "$WORK/run/ruvo/80S5.IT"
nosound="stream8: no sound device could be opened; the show runs without sound"
run_until_line "$WORK/run" "$nosound"
# No sound device and a bad module: the module is named all the same.
cp "$WORK/bad.IT" "$WORK/run/ruvo/80S5.IT"
run_until_line "$WORK/run" "$bad
$nosound"
echo "silent_starts: ok"
