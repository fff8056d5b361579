#!/usr/bin/env bash
# The end of ./demo test: what the load-aware checks could judge on this run, from the lines
# their tests left in DIR (tests/e2e/lib.sh, judged), a line per test and one in all.
# Usage: bash tests/judged_summary.sh DIR
set -euo pipefail
dir=$1
shopt -s nullglob
files=("$dir"/*)
if [ ${#files[@]} -eq 0 ]; then
    echo "demo: judged: no load-aware check reported (did the end-to-end tests run?)"
    exit 0
fi
judged=0 total=0 left=()
for f in "${files[@]}"; do
    test=$(basename "$f")
    echo "demo: judged: $test: $(paste -sd ';' "$f" | sed 's/;/; /g')"
    while IFS= read -r line; do
        what=${line%: * of *}
        counts=${line##*: }
        n=${counts%% of *}
        of=${counts##* of }
        judged=$((judged + n))
        total=$((total + of))
        [ "$n" -eq "$of" ] || left+=("$test: $what ($((of - n)) of $of)")
    done <"$f"
done
if [ ${#left[@]} -eq 0 ]; then
    echo "demo: judged: all $total load-aware checks were judged; none left unjudged"
else
    summary=$(printf '%s, ' "${left[@]}")
    echo "demo: judged: $judged of $total load-aware checks; left unjudged for the machine's load: ${summary%, }"
fi
