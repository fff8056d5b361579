#!/usr/bin/env bash
# The Windows build under Wine (./demo test-windows): the sandbox's verdicts; a refused picture;
# the recorder's frames and sound against the golden table and Linux's recorder, on the default
# and the library drawing path; the live show's screen, Esc and a refusal's message box on a
# 1920x1080 X server. Needs build-windows/ (with stream8-sandbox-check) and build/ (the Linux
# recorder) built.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/deps/common.sh

# Runs one recorder, naming it and its time.
timed() {
    local what=$1 t=$SECONDS
    shift
    "$@" >/dev/null
    say "the show on $what: $((SECONDS - t)) s"
}

t0=$SECONDS
work=build-windows/check
rm -rf "$work"
mkdir -p "$work"
# Wine's prefix lives in the build: its first run makes it (about 15 s), later ones reuse it.
export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wine cmd /c exit >/dev/null 2>&1 || true
# The sandbox: each way its child can end, with its verdict.
wine build-windows/tests/windows/stream8-sandbox-check.exe | tr -d '\r' | sed 's/^/demo: sandbox: /' >&2
# A picture its check refuses, found by the probe's child: the recorder names it, writes nothing
# and ends with status 1.
cp -r ruvo "$work/refused"
head -c 3000 ruvo/logo.jpg >"$work/refused/logo.jpg"
status=0
wine build-windows/apps/stream8-record.exe --no-video --quiet --data "$work/refused" \
    --hash-log "$work/refused.txt" 2>"$work/refused.log" || status=$?
refusal=$(tr -d '\r' <"$work/refused.log")
if [ "$status" != 1 ] || ! grep -q 'cannot start: .*logo.jpg: is cut short' <<<"$refusal" ||
    [ -e "$work/refused.txt" ]; then
    say "the refused picture under Wine: status $status, $refusal"
    exit 1
fi
say "the refused picture under Wine: status 1, $refusal"
timed x86-64 ./build/apps/stream8-record --no-video --quiet --sound-raw "$work/linux.pcm"
timed "Windows (default path)" wine build-windows/apps/stream8-record.exe --no-video --quiet \
    --sound-raw "$work/windows.pcm" --hash-log "$work/windows.txt"
timed "Windows (library path)" env STREAM8_RASTER=allegro wine build-windows/apps/stream8-record.exe \
    --no-video --quiet --hash-log "$work/windows-allegro.txt"
t1=$SECONDS
python3 tests/arm64/compare.py --frames tests/golden/show.txt "$work/windows.txt" \
    "$work/windows-allegro.txt" --sound "$work/linux.pcm" "$work/windows.pcm"
# The live show on a 1920x1080 X server, its keys through xdotool.
bash tests/windows/live.sh build-windows/stream8.exe . build/apps/stream8-record
say "Windows tests: recorder runs $((t1 - t0)) s, live show $((SECONDS - t1)) s"
