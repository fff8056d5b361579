# The browser build's cost against the desktop's, in figures: stream8-bench natively (the default
# drawing path) and its wasm build under Node, in turn, RUNS times each (3 by default); the best
# (lowest) figure of each side's runs, then wasm / native per scene and for the whole show. A
# benchmark, not a test: the figures depend on the machine and its load.
# Usage: bash apps/bench/web_vs_native.sh [RUNS]   (needs build/ and build-web/ built)
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$here"
for i in $(seq "$runs"); do
    build/apps/stream8-bench --quiet >"$out/native.$i"
    node --no-experimental-fetch build-web/apps/stream8-bench.js --quiet >"$out/wasm.$i"
done
echo "stream8-bench, best of $runs runs, ms of CPU per frame (median) and s in all; load $(cut -d' ' -f1-3 /proc/loadavg)"
awk '
    # Scene rows: "scene N name frames median p99 max wall wall>tick worst total"; phase rows alike.
    function keep(side, key, med, tot) {
        if (!((side, key) in m) || med < m[side, key]) m[side, key] = med
        if (!((side, key) in t) || tot < t[side, key]) t[side, key] = tot
        if (!(key in seen)) { seen[key] = 1; order[++n] = key }
    }
    { side = FILENAME ~ /native/ ? "n" : "w" }
    $1 == "scene" { keep(side, $2 " " $3, $5, $NF) }
    $1 ~ /^(smear|loop|fade)$/ && NF >= 9 { keep(side, $1, $3, $NF) }
    /^whole show:/ { s = $0; sub(/.*rendered in /, "", s); sub(/ s of CPU.*/, "", s); keep(side, "whole show", 0, s) }
    END {
        printf "  %-12s %8s %8s %6s   %8s %8s %6s\n", "", "native", "wasm", "ratio", "native s", "wasm s", "ratio"
        for (i = 1; i <= n; i++) {
            k = order[i]
            if (k == "whole show") continue
            printf "  %-12s %8.2f %8.2f %5.2fx   %8.2f %8.2f %5.2fx\n", k, m["n", k], m["w", k],
                   m["w", k] / m["n", k], t["n", k], t["w", k], t["w", k] / t["n", k]
        }
        k = "whole show"
        printf "  %-12s %8s %8s %6s   %8.2f %8.2f %5.2fx\n", k, "", "", "", t["n", k], t["w", k], t["w", k] / t["n", k]
    }' "$out"/native.* "$out"/wasm.*
