# Shared set-up of the end-to-end tests: a private X server, a private working directory with the
# show's data, and an ALSA configuration that writes what the show plays into a file.
# Usage: source lib.sh BINARY SOURCE_DIR
set -u
BIN=$1
SRC=$2
WORK=$(mktemp -d /tmp/stream8-e2e.XXXXXX)
XVFB_PID=
SINK_PID=

cleanup() {
    [ -n "$SINK_PID" ] && kill "$SINK_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Starts Xvfb (depth $1, 24 by default) on the first free display number from 91 on and exports
# DISPLAY.
start_xvfb() {
    local n depth=${1:-24}
    for n in $(seq 91 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 1024x768x$depth -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
            [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=:$n; return 0; }
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
    done
    fail "could not start Xvfb"
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

# Runs the show in the background from the working directory; sets SHOW_PID. Its phases are
# logged to $WORK/phases.log ("NAME SECONDS" from the start of the tick).
start_show() {
    (cd "$WORK/run" && STREAM8_PHASE_LOG="$WORK/phases.log" exec "$BIN") >"$WORK/stdout.log" 2>"$WORK/stderr.log" &
    SHOW_PID=$!
}

# Waits up to $1 seconds for the show to end; sets STATUS (124 on time-out, after killing it).
wait_show() {
    local i
    for i in $(seq $(($1 * 10))); do
        if ! kill -0 "$SHOW_PID" 2>/dev/null; then
            wait "$SHOW_PID"
            STATUS=$?
            return 0
        fi
        sleep 0.1
    done
    kill -9 "$SHOW_PID" 2>/dev/null
    wait "$SHOW_PID" 2>/dev/null
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

# The last phase begun (or "end").
last_phase() {
    tail -n 1 "$WORK/phases.log" | cut -d' ' -f1
}
