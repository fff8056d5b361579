# Shared set-up of the end-to-end tests: a private X server, a private working directory with the
# show's data, and an ALSA configuration that writes what the show plays into a file.
# Usage: source lib.sh BINARY SOURCE_DIR
set -u
BIN=$1
SRC=$2
WORK=$(mktemp -d /tmp/stream8-e2e.XXXXXX)
XVFB_PID=

cleanup() {
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

# Runs the show in the background from the working directory; sets SHOW_PID.
start_show() {
    (cd "$WORK/run" && exec "$BIN") >"$WORK/stdout.log" 2>"$WORK/stderr.log" &
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
