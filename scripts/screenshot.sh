#!/usr/bin/env bash
# Starts the program under Xvfb and writes a PNG of the whole screen.
#   scripts/screenshot.sh [-o OUT.png] [-w SECONDS] [PROGRAM ARGUMENTS...]
# Without arguments it opens the demo (configuration and capture). It waits until the main
# window is shown, then SECONDS more (default 3) for the replay and the drawing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=screenshot.png
wait_after=3
while [ $# -gt 0 ]; do
  case "$1" in
    -o) out="$2"; shift 2 ;;
    -w) wait_after="$2"; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || set -- --config examples/demo.cfg examples/demo.bin

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xwininfo >/dev/null || need+=(x11-utils)
command -v openbox >/dev/null || need+=(openbox)
command -v import >/dev/null && import -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
if [ ! -x build/src/ui/velkor ]; then
  scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc)" --target velkor
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
program=""
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null || true
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
# A window manager, so that windows get their frames and a maximised window fills the screen.
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5

# A copy of the program in a folder of its own, so its LastVelkor.cfg is not the user's.
home=$(mktemp -d)
cp build/src/ui/velkor "$home/velkor"
"$home/velkor" "$@" &
program=$!
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Kivo - Velkor"' && break
  sleep 0.1
done
sleep "$wait_after"
import -window root "$out"
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
program=""
rm -rf "$home"
echo "$out"
