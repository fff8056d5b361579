#!/bin/sh
# Plays the show. On a machine without a display (DISPLAY and WAYLAND_DISPLAY unset) it records
# the show to a video instead and says where it wrote it and how long it is.
# Run from the repository root: sh apps/play.sh [BUILD_DIR]   (default build directory: build)
build=${1:-build}
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
    exec "$build/stream8"
fi
echo "play: no display; recording the show to a video instead" >&2
exec "$build/apps/stream8-record" --out "${STREAM8_VIDEO:-stream8.mp4}"
