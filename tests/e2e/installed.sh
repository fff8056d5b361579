# Installed with cmake --install, the show runs from anywhere: started from / it finds its data in
# the prefix's share/stream8/ruvo; started from a directory holding a ruvo/ of its own, it uses
# that one. The desktop entry and the icon are installed beside it.
source "$(dirname "$0")/lib.sh"
BUILD=$(dirname "$BIN")
cmake --install "$BUILD" --prefix "$WORK/prefix" >"$WORK/install.log" || fail "install: $(cat "$WORK/install.log")"
for f in bin/stream8 bin/stream8-record share/stream8/ruvo/80S5.IT share/applications/stream8.desktop \
         share/icons/hicolor/256x256/apps/stream8.png; do
    [ -e "$WORK/prefix/$f" ] || fail "not installed: $f"
done
BIN=$WORK/prefix/bin/stream8
start_xvfb
prepare_workdir
(cd / && STREAM8_PHASE_LOG="$WORK/phases.log" exec "$BIN") >"$WORK/stdout.log" 2>"$WORK/stderr.log" &
SHOW_PID=$!
wait_phase loop 60
hold_esc_until_end
[ "$STATUS" -eq 0 ] || fail "from /: status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
# A working directory with a ruvo/ of its own, which lacks the module: that one is read.
rm "$WORK/run/ruvo/80S5.IT"
start_show
wait_phase logo 60
hold_esc_until_end
grep -q "^stream8: ruvo/80S5.IT: cannot load the module" "$WORK/stderr.log" ||
    fail "the working directory's ruvo/ was not used: $(cat "$WORK/stderr.log")"
# No ruvo/ anywhere: the message says where the show looked.
mv "$WORK/prefix/share/stream8/ruvo" "$WORK/elsewhere"
status=0
(cd / && exec "$BIN") >"$WORK/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "without data: status $status"
grep -qF "no data directory ruvo/ (looked in ruvo, $WORK/prefix/bin/ruvo" "$WORK/out" || fail "without data: $(cat "$WORK/out")"
echo "installed: ok"
