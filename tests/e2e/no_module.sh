# Without the module the show still runs to its end in silence, says why once, and exits 0.
source "$(dirname "$0")/lib.sh"
start_xvfb
prepare_workdir
rm "$WORK/run/ruvo/80S5.IT"
start_show
wait_show 300
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
grep -q "80S5.IT: cannot load the module" "$WORK/stderr.log" || fail "no word about the module"
[ "$(grep -c '^stream8:' "$WORK/stderr.log")" -eq 1 ] || fail "expected one line of ours on stderr"
if [ -s "$WORK/sound.raw" ]; then
    python3 -c "import array,sys; sys.exit(any(v != 0x8000 for v in array.array('H', open(sys.argv[1],'rb').read())))" \
        "$WORK/sound.raw" || fail "sound without a module"
fi
echo "no_module: status 0, silent"
