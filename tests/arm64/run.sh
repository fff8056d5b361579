#!/usr/bin/env bash
# The whole show on 64-bit ARM under qemu (./demo test-arm64): the recorder cross-built against
# Debian's arm64 libraries, run on the default and the library drawing path; every frame must hash
# as in the golden table (or, without one, as the x86-64 recorder's frames) and the sound must
# match x86-64's (tests/arm64/compare.py). Needs the native recorder in build/ and the sysroot.
# Usage: run.sh SYSROOT
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/deps/common.sh
sysroot=$1

# Runs one recorder, naming it and its time.
timed() {
    local what=$1 t=$SECONDS
    shift
    "$@" >/dev/null
    say "the show on $what: $((SECONDS - t)) s"
}

cmake -S . -B build-arm64 --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release -DSTREAM8_TOOLS=OFF \
    -DSTREAM8_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
    -DSTREAM8_ARM64_SYSROOT="$sysroot" >/dev/null
cmake --build build-arm64 -j"$(nproc)" --target stream8-record
work=build-arm64/check
rm -rf "$work"
mkdir -p "$work"
# Each recorder writes its frames' hashes and its sound track exactly as rendered.
timed x86-64 ./build/apps/stream8-record --no-video --quiet --sound-raw "$work/x86-64.pcm" \
    --hash-log "$work/x86-64.txt"
arm64=(qemu-aarch64 -L "$sysroot" build-arm64/apps/stream8-record)
timed "arm64 (default path)" "${arm64[@]}" --no-video --quiet --sound-raw "$work/arm64.pcm" \
    --hash-log "$work/arm64.txt"
timed "arm64 (library path)" env STREAM8_RASTER=allegro "${arm64[@]}" --no-video --quiet \
    --hash-log "$work/arm64-allegro.txt"
golden=tests/golden/show.txt
[ -f "$golden" ] || golden=$work/x86-64.txt
python3 tests/arm64/compare.py --frames "$golden" "$work/arm64.txt" "$work/arm64-allegro.txt" \
    --sound "$work/x86-64.pcm" "$work/arm64.pcm"
