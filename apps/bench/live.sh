# The live show as a viewer gets it, in figures: the real binary plays the whole show under a
# private Xvfb at 1920x1080 (x2) with its sound drained in real time, and this prints its CPU
# share of one core, each phase's length against its nominal one, what the show logged of its
# time (frames late, ticks owed, waits asleep and spinning, clock polls) and when its frames went
# out within their ticks. The figures depend on the machine and its load; the pace is judged all
# the same (each phase's length, frames on time 10 ms into their tick), which the tests judge only
# where the machine kept up: run it on a quiet machine, where a pace off is the show's fault.
# Usage: bash apps/bench/live.sh [BUILD_DIR]   (build/ by default; needs stream8 built)
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
source "$here/tests/e2e/lib.sh" "$build/stream8" "$here" "$build/apps/stream8-record"
[ -x "$BIN" ] || fail "no $BIN: build the show first"
start_xvfb 24 1920x1080
prepare_workdir
use_realtime_sound
start_show
sample_cpu
wait_show 300
[ "$STATUS" -eq 0 ] || fail "status $STATUS (stderr: $(cat "$WORK/stderr.log"))"
finish_realtime_sound
echo "the live show at 1920x1080 (x2), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
cpu_share
python3 - "$WORK/phases.log" "$WORK/frames.log" <<'PY' || fail "the show's pace is off (on a busy machine, it may be the load's)"
import phase_log, statistics, sys
tick = 20223 / 1193181
t, timing = phase_log.read(sys.argv[1])
nominal = {"logo": 209, "smear": 300, "loop": 2099, "pause": 209, "fade": 450}
order = ["logo", "smear", "loop", "pause", "fade", "end"]
print("phase   length s  nominal s  presents  late  most owed  slept s  spun s  polls/s  woke ms")
for name, following in zip(order, order[1:]):
    a = timing.get(name, {})
    waited = a.get("slept", 0) + a.get("spun", 0)
    print(f"{name:6} {t[following] - t[name]:9.3f} {nominal[name] * tick:10.3f} {a.get('presents', 0):9.0f} "
          f"{a.get('late', 0):5.0f} {a.get('owed', 0):10.0f} {a.get('slept', 0):8.2f} {a.get('spun', 0):7.3f} "
          f"{a.get('polls', 0) / waited if waited else 0:8.0f} {a.get('woke', 0):8.2f}")
frames = [l.split() for l in open(sys.argv[2])]
for name in nominal:
    into = sorted(float(f[2]) % tick * 1000 for f in frames if f[0].startswith(name + ":"))
    if into:
        q = statistics.quantiles(into, n=20) if len(into) > 1 else into * 19
        print(f"{name:6} presents {len(into):5} ms into their tick: median {statistics.median(into):6.2f}, "
              f"5% {q[0]:6.2f}, 95% {q[-1]:6.2f}, max {into[-1]:6.2f}")
moments = [float(f[2]) for f in frames]
gaps = sorted(b - a for a, b in zip(moments, moments[1:]))
print(f"gaps between presents: median {1000 * statistics.median(gaps):.2f} ms, "
      f"longest {1000 * gaps[-1]:.2f} ms (a tick is {1000 * tick:.2f} ms)")
off = [f"{name} took {t[following] - t[name]:.2f} s, not {lo:.2f}..{hi:.2f}"
       for name, (following, lo, hi) in phase_log.BOUNDS.items() if not lo <= t[following] - t[name] <= hi]
loop = statistics.median(float(f[2]) % tick * 1000 for f in frames if f[0].startswith("loop:"))
if loop < 9.5:
    off.append(f"loop frames go out {loop:.1f} ms into their tick, not 10")
print("pace: " + ("; ".join(off) if off else "every phase of its length, loop frames 10 ms into their tick"))
sys.exit(1 if off else 0)
PY
