# Shared set-up of the end-to-end tests: a private X server, a private working directory with the
# show's data, and an ALSA configuration that writes what the show plays into a file.
# Usage: source lib.sh BINARY SOURCE_DIR RECORDER [ARGS...]
# Strict: a failed command, an unset variable or a call to a command or function that does not
# exist ends the test as failed, wherever it happens (a condition or a function included).
set -Eeuo pipefail
trap 'echo "FAIL: ${BASH_SOURCE[0]}:$LINENO: a command failed (status $?)" >&2' ERR
command_not_found_handle() {
    echo "FAIL: ${BASH_SOURCE[1]:-?}:${BASH_LINENO[0]}: no command or function '$1'" >&2
    kill -USR1 $$
    return 127
}
trap 'exit 127' USR1
# The show's refusal window (for starts without a terminal) stays shut unless a test asks for it.
export STREAM8_NO_DIALOG=1
BIN=$1
SRC=$2
REC=${3:-}
WORK=$(mktemp -d /tmp/stream8-e2e.XXXXXX)
# What this run judges replaces what an earlier run of the same test said (see judged).
[ -z "${STREAM8_JUDGED_DIR:-}" ] || rm -f "$STREAM8_JUDGED_DIR/${STREAM8_TEST_NAME:-$(basename "$0" .sh)}"
# The checks' Python reads the show's logs with the modules beside this file.
export PYTHONPATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)${PYTHONPATH:+:$PYTHONPATH}"
XVFB_PID=
SINK_PID=

SHOW_PID=
cleanup() {
    [ -z "$SHOW_PID" ] || kill -9 "$SHOW_PID" 2>/dev/null || true
    [ -z "$SINK_PID" ] || kill "$SINK_PID" 2>/dev/null || true
    [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    # What the show said last, to begin the search with.
    if [ -s "$WORK/stderr.log" ]; then
        echo "--- the show's standard error, last lines:" >&2
        tail -n 15 "$WORK/stderr.log" | tr -d '\r' >&2
    fi
    exit 1
}

# Starts Xvfb (depth $1, 24 by default; size $2, 1024x768 by default) on a display number it
# picks itself (tests run side by side) and exports DISPLAY.
start_xvfb() {
    local depth=${1:-24} size=${2:-1024x768} n=
    rm -f "$WORK/display"
    Xvfb -displayfd 3 -screen 0 "${size}x$depth" -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        n=$(cat "$WORK/display" 2>/dev/null || true)
        [ -n "$n" ] && [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=:$n; return 0; }
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    fail "could not start Xvfb: $(cat "$WORK/xvfb.log")"
}

# A working directory holding a copy of ruvo/, a HOME whose .asoundrc sends the default ALSA
# device to $WORK/sound.raw (16-bit stereo), and the show's binary.
prepare_workdir() {
    mkdir -p "$WORK/run" "$WORK/home"
    cp -r "$SRC/ruvo" "$WORK/run/ruvo"
    cat >"$WORK/home/.asoundrc" <<ASOUND
pcm.!default { type file; slave.pcm "null"; file "$WORK/sound.raw"; format "raw" }
ASOUND
    export HOME="$WORK/home"
}

# Sends the sound to a FIFO drained in real time (realtime_sink.py) into $WORK/sound.raw instead,
# so that its timing and its last moments are as a sound card plays them.
use_realtime_sound() {
    mkfifo "$WORK/sound.fifo"
    python3 "$(dirname "${BASH_SOURCE[0]}")/realtime_sink.py" "$WORK/sound.fifo" "$WORK/sound.raw" &
    SINK_PID=$!
    cat >"$WORK/home/.asoundrc" <<ASOUND
pcm.!default { type file; slave.pcm "null"; file "$WORK/sound.fifo"; format "raw" }
ASOUND
}

# Waits for the real-time sink to take the last of the sound (after the show has ended).
finish_realtime_sound() {
    local i
    for i in $(seq 100); do
        kill -0 "$SINK_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$SINK_PID" 2>/dev/null && fail "the sound sink did not see the end of the sound"
    SINK_PID=
}

# Lets an unprivileged user (nobody) run the show: the work directory and HOME become reachable,
# and the binary is copied into it (the checkout may lie in a folder only its owner can enter).
# Sets NOBODY_BIN; AS_NOBODY is the user switch when running as root (empty otherwise).
share_with_nobody() {
    mkdir -p "$WORK/bin"
    cp "$BIN" "$WORK/bin/stream8"
    chmod 755 "$WORK" "$WORK/home" "$WORK/bin" "$WORK/bin/stream8"
    chmod -R a+rX "$WORK/run"
    NOBODY_BIN=$WORK/bin/stream8
    AS_NOBODY=()
    [ "$(id -u)" -eq 0 ] && AS_NOBODY=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    return 0
}

# Runs the show in the background from the working directory with arguments "$@"; sets SHOW_PID.
# Its phases are logged to $WORK/phases.log ("NAME SECONDS" from the start of the tick), the
# frames it presents to $WORK/frames.log ("LABEL HASH SECONDS").
start_show() {
    rm -f "$WORK/phases.log" "$WORK/frames.log"
    (cd "$WORK/run" && STREAM8_PHASE_LOG="$WORK/phases.log" STREAM8_FRAME_LOG="$WORK/frames.log" exec "$BIN" "$@") \
        >"$WORK/stdout.log" 2>"$WORK/stderr.log" &
    SHOW_PID=$!
}

# Waits up to $2 seconds for a frame of phase P numbered N or later to be presented ($1 is P:N,
# "loop:200"); fails if the show ends or the time runs out.
wait_frame() {
    local i phase=${1%%:*} n=${1##*:}
    for i in $(seq $(($2 * 20))); do
        awk -F'[: ]' -v p="$phase" -v n="$n" '$1 == p && $2 >= n {found = 1} END {exit !found}' \
            "$WORK/frames.log" 2>/dev/null && return 0
        kill -0 "$SHOW_PID" 2>/dev/null || fail "the show ended before the frame $1"
        sleep 0.05
    done
    fail "no frame $1 after $2 s"
}

# Holds Esc until the show ends (up to $1 seconds, 10 by default); sets STATUS.
hold_esc_until_end() {
    xdotool keydown Escape
    wait_show "${1:-10}"
    xdotool keyup Escape
}

# The recorder's hash log of the same show (from the same data) into $WORK/recorded.log.
record_hashes() {
    "$REC" --no-video --quiet --data "$WORK/run/ruvo" --hash-log "$WORK/recorded.log" >"$WORK/record.log" 2>&1 ||
        fail "the recorder failed: $(cat "$WORK/record.log")"
}

# Every frame the live show presented equals the recorder's frame of the same name and place: the
# live frame log is the first lines of the recorder's (all of them when $1 is "all").
frames_match_recorder() {
    record_hashes
    python3 - "$WORK/frames.log" "$WORK/recorded.log" "${1:-prefix}" <<'PY'
import sys
live = [l.split()[:2] for l in open(sys.argv[1])]
rec = [l.split() for l in open(sys.argv[2]) if not l.startswith("sound:")]
assert live, "no frame was presented"
if sys.argv[3] == "all":
    assert len(live) == len(rec), f"{len(live)} frames presented, the recorder has {len(rec)}"
for i, (a, b) in enumerate(zip(live, rec)):
    assert a == b, f"present {i + 1}: live {a[0]} {a[1]}, recorder {b[0]} {b[1]}"
print(f"{len(live)} presented frames equal the recorder's")
PY
}

# Compares the screen with the recorder's frame $1 scaled $2 times at ($3,$4), black elsewhere.
# The frame's phase must still be on when the capture is done (the logo's frames are all alike);
# on a machine so busy that it was not, the capture is reported as late and not compared.
screen_shows() {
    local label=$1 k=$2 x=$3 y=$4 png
    import -window root "$WORK/screen.png" || fail "no screenshot"
    if [ "$(last_phase)" != "${label%%:*}" ]; then
        echo "late: the capture of $label ended after its phase (now '$(last_phase)'); not compared"
        judged 0 1 "screen capture of $label x$k"
        return 0
    fi
    png=$(echo "$label" | awk -F: '{printf "%s-%05d.png", $1, $2}')
    "$REC" --no-video --quiet --data "$WORK/run/ruvo" --frames "$label" --frames-dir "$WORK/ref" >/dev/null 2>&1 ||
        fail "the recorder could not dump $label"
    convert "$WORK/ref/$png" -sample "$((100 * k))%" "$WORK/scaled.png"
    local w=$((640 * k)) h=$((480 * k))
    convert "$WORK/screen.png" -crop "${w}x${h}+$x+$y" +repage "$WORK/crop.png"
    local px
    px=$(compare -metric AE "$WORK/crop.png" "$WORK/scaled.png" null: 2>&1) || true
    [ "$px" = 0 ] || fail "the screen's picture differs from $label x$k in $px pixels"
    px=$(convert "$WORK/screen.png" -fill black -draw "rectangle $x,$y $((x + w - 1)),$((y + h - 1))" \
         -format "%[fx:maxima]" info:)
    [ "$px" = 0 ] || fail "the screen is not black around the picture"
    echo "the screen shows $label x$k at ($x,$y) on black"
    judged 1 1 "screen capture of $label x$k"
}

# Waits up to $1 seconds for the show to end; sets STATUS (124 on time-out, after killing it).
wait_show() {
    local i
    for i in $(seq $(($1 * 10))); do
        if ! kill -0 "$SHOW_PID" 2>/dev/null; then
            STATUS=0
            wait "$SHOW_PID" || STATUS=$?
            return 0
        fi
        sleep 0.1
    done
    kill -9 "$SHOW_PID" 2>/dev/null || true
    wait "$SHOW_PID" 2>/dev/null || true
    STATUS=124
}

# Waits up to $2 seconds for phase $1 to begin; fails if the show ends or the time runs out.
wait_phase() {
    local i
    for i in $(seq $(($2 * 10))); do
        grep -q "^$1 " "$WORK/phases.log" 2>/dev/null && return 0
        kill -0 "$SHOW_PID" 2>/dev/null || fail "the show ended before the phase '$1'"
        sleep 0.1
    done
    fail "no phase '$1' after $2 s"
}

# The last phase begun (or "end"; empty before the first).
last_phase() {
    { grep -v '^timing ' "$WORK/phases.log" 2>/dev/null || true; } | tail -n 1 | cut -d' ' -f1
}

# The show's waits slept: over its whole run, in its waits for a tick and, apart, in its presents'
# waits for their moment in the tick, the CPU time is at most a tenth of the time asleep or on
# the CPU (and 50 us a wait, what taking its times and a few polls cost), and the waits for a
# tick polled the clock at most 2000 times a second of that, and twice more each (a wait that
# sleeps up to 2 ms at a time polls about 500 times a second, and once more). The host logs
# these ("timing" lines) and also the time its waits were ready to run but kept off the CPU by
# other work, which counts on neither side: a busy machine does not change the verdict, and a
# wait that spins fails.
waits_sleep() {
    python3 - "$WORK/phases.log" <<'PY' || fail "the show's waits do not sleep"
import phase_log, sys
sums = {}
for figures in phase_log.read(sys.argv[1])[1].values():
    for k, v in figures.items():
        sums[k] = sums.get(k, 0.0) + v
assert sums, "the host logged no waits"
for what, p in (("tick", ""), ("present", "present_")):
    slept, spun, queued, n = sums[p + "slept"], sums[p + "spun"], sums[p + "queued"], sums[p + "waits"]
    waited = slept + spun
    assert n > 0 and waited > 0, f"no waits for a {what} were logged"
    print(f"{n:.0f} waits for a {what}: {slept:.2f} s asleep, {spun:.3f} s on the CPU "
          f"({100 * spun / waited:.1f}%), {queued:.2f} s kept off the CPU by other work"
          + (f", {sums['polls']:.0f} clock polls" if not p else ""))
    assert spun <= 0.1 * waited + 50e-6 * n, f"the waits for a {what} spent more than a tenth of their time on the CPU"
    if not p:
        assert sums["polls"] <= 2000 * waited + 2 * n, "the waits polled the clock in a loop"
PY
}

# Samples the show's CPU time (user + system, in seconds) every half second into $WORK/cpu.log
# while it runs: "SECONDS_SINCE_START CPU_SECONDS".
sample_cpu() {
    local hz start
    hz=$(getconf CLK_TCK)
    start=$(date +%s.%N)
    (while [ -r "/proc/$SHOW_PID/stat" ]; do
        awk -v hz="$hz" -v t="$(date +%s.%N)" -v s="$start" '{printf "%.2f %.2f\n", t - s, ($14 + $15) / hz}' \
            "/proc/$SHOW_PID/stat" 2>/dev/null || true
        sleep 0.5
    done) >"$WORK/cpu.log" &
}

# Prints the show's CPU over the sampled stretch as a share of one core (a figure, not a verdict).
cpu_share() {
    python3 - "$WORK/cpu.log" <<'PY'
import sys
rows = [tuple(map(float, l.split())) for l in open(sys.argv[1]) if len(l.split()) == 2]
if len(rows) < 2:
    sys.exit("too few CPU samples")
(t0, c0), (t1, c1) = rows[0], rows[-1]
print(f"CPU {c1 - c0:.2f} s over {t1 - t0:.1f} s: {100 * (c1 - c0) / (t1 - t0):.1f}% of a core")
PY
}

# The captured sound ($WORK/sound.raw: unsigned 16-bit stereo at 44100 Hz, silence 0x8000) ends
# in silence: its last 10 ms peak at -40 dBFS or below, its last $1 ms (0 by default) exactly
# silent, and, given $2, the step into that silence no louder than $2 dBFS (the end's ramp falls
# in steps of at most -65 dBFS; music cut off without it steps from its last level, about -59
# dBFS at the end of the fade).
sound_ends_quiet() {
    python3 - "$WORK/sound.raw" "${1:-0}" "${2:-0}" <<'PY' || fail "the sound does not end quietly"
import array, math, sys
a = array.array('H', open(sys.argv[1], 'rb').read())
assert a, "no sound was captured"
rate = 2 * 44100
level = lambda v: 20 * math.log10(max(abs(v - 0x8000), 1) / 32768)
peak = max(level(v) for v in a[-rate // 100:])
end = len(a)
while end > 0 and a[end - 1] == 0x8000:
    end -= 1
step = max(level(v) for v in a[max(end - 2, 0):end]) if end else -math.inf
print(f"last 10 ms peak {peak:.1f} dBFS; the last {(len(a) - end) * 1000 / rate:.0f} ms exactly silent; "
      f"the step into the silence {step:.1f} dBFS")
assert peak <= -40, "a click at the end"
assert (len(a) - end) * 1000 / rate >= float(sys.argv[2]), "too little silence at the end"
assert step <= float(sys.argv[3]), "the sound steps into the silence instead of ramping to it"
PY
}

# Says how much of a check that depends on the machine's load this run could judge: $1 of $2
# items of what $3 names ("judged 4 5 phases' lengths"). Printed, and kept in
# $STREAM8_JUDGED_DIR/$STREAM8_TEST_NAME for the summary at the end of ./demo test
# (tests/judged_summary.sh).
judged() {
    echo "judged: $3: $1 of $2"
    if [ -n "${STREAM8_JUDGED_DIR:-}" ]; then
        mkdir -p "$STREAM8_JUDGED_DIR"
        echo "$3: $1 of $2" >>"$STREAM8_JUDGED_DIR/${STREAM8_TEST_NAME:-$(basename "$0" .sh)}"
    fi
}
