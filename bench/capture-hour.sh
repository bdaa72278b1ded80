#!/usr/bin/env bash
# The capture-hour: 1.5 G samples (an hour of signal) of everyday traffic on four channels
# through `velkor-decode --raw` into a pipe, with the capture in the page cache; prints the
# wall time and the peak memory of each run. The capture (1.5 GB) is written to a temporary
# folder and removed afterwards. Usage: bench/capture-hour.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-3}
dir=$(mktemp -d /tmp/velkor-hour-XXXXXX)
trap 'rm -rf "$dir"' EXIT
"$build/bench/velkor-bench-capture" mixed 1500000000 "$dir"
cat "$dir/capture.bin" > /dev/null  # into the page cache
for ((run = 1; run <= runs; ++run)); do
  for path in "" --per-sample; do
    [[ -n $path && $run -gt 1 ]] && continue  # the per-sample path once: it takes a minute
    /usr/bin/time -f "run $run ${path:-run-skipping}: %e s wall, %U s user, %S s system, %M KiB peak" \
      "$build/tools/velkor-decode" --raw $path --config "$dir/bench.cfg" "$dir/capture.bin" | cat > /dev/null
  done
done
