#!/usr/bin/env bash
# Builds the program and the headless decoder (nothing else: scripts/test.sh builds the
# tests and benchmarks) and decodes the bundled demo capture: in the GUI when a display
# exists and the GUI is built, otherwise with the headless decoder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(velkor-decode)
grep -q '^VELKOR_GUI:BOOL=OFF' build/CMakeCache.txt || targets+=(velkor)
cmake --build build -j"$(nproc)" --target "${targets[@]}"
if [ -n "${DISPLAY:-}" ] && [ -x build/src/ui/velkor ]; then
  exec build/src/ui/velkor --config examples/demo.cfg examples/demo.bin
fi
exec build/tools/velkor-decode --config examples/demo.cfg examples/demo.bin
