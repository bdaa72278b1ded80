#!/usr/bin/env bash
# Builds Velkor and decodes the bundled demo capture: in the GUI when a display exists and
# the GUI is built, otherwise with the headless decoder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ -n "${DISPLAY:-}" ] && [ -x build/src/ui/velkor ]; then
  exec build/src/ui/velkor --config examples/demo.cfg examples/demo.bin
fi
exec build/tools/velkor-decode --config examples/demo.cfg examples/demo.bin
