#!/usr/bin/env bash
# Processor time of the desktop program replaying a dense capture (Hexa view shown,
# AutoScroll on) against velkor-decode on the same file, without and with a client's line
# event. Not a test: it prints figures.
#   bench/gui/gui-vs-decode.sh [BUILD_DIR] [LINES]
set -euo pipefail
build=${1:-build}
lines=${2:-2000000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

bench() { "$build/bench/gui/velkor_gui_bench" --dense --lines "$lines" --repeat 1 --no-scroll --files "$dir" "$@"; }
cpu_of() { sed -n 's/^  processor \([0-9.]*\) s$/\1/p' "$1"; }

bench >"$dir/plain.txt" 2>"$dir/plain.err"
bench --event >"$dir/event.txt" 2>"$dir/event.err"
TIMEFORMAT='%3U %3S'
{ time "$build/tools/velkor-decode" --config "$dir/bench.cfg" "$dir/capture.bin" >/dev/null; } 2>"$dir/decode.time"
decode=$(awk '{ print $1 + $2 }' "$dir/decode.time")
decoded=$("$build/tools/velkor-decode" --config "$dir/bench.cfg" "$dir/capture.bin" | wc -l)

grep -m1 '^capture' "$dir/plain.txt"
printf 'velkor-decode: %s lines, processor %.3f s\n' "$decoded" "$decode"
for run in plain event; do
  gui=$(cpu_of "$dir/$run.txt")
  label="no client's event"
  [ "$run" = event ] && label="a client's event"
  printf 'desktop replay, %-17s processor %.3f s, %.2f x velkor-decode\n' "$label:" "$gui" "$(echo "$gui / $decode" | bc -l)"
done
