#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a share of the given seconds.
set -euo pipefail
build=${1:?build dir}
seconds=${2:-60}
targets=$(find "$build/tests/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -executable | sort)
[ -n "$targets" ] || { echo "no fuzz targets built"; exit 1; }
count=$(echo "$targets" | wc -l)
share=$(( seconds / count ))
[ "$share" -ge 5 ] || share=5
# Seeds kept in the repository (tests/fuzz/corpus/NAME/) start a target's corpus.
seeds="$(cd "$(dirname "$0")/.." && pwd)/tests/fuzz/corpus"
for t in $targets; do
    corpus=$(mktemp -d)
    if [ -d "$seeds/$(basename "$t")" ]; then
        cp "$seeds/$(basename "$t")"/* "$corpus"/
    fi
    echo "-- $(basename "$t") for ${share}s"
    "$t" -max_total_time="$share" -print_final_stats=0 "$corpus" 2>&1 | tail -2
    rm -rf "$corpus"
done
