#!/usr/bin/env bash
# Adds 100 short videos to the window the way the add button does and prints the time until every row is
# listed and the preview shows the last one.
# Usage: bench/addfiles.sh [BUILD_FOLDER]   (default build; builds the benchmark first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target kelvane_addfiles_bench kelvane-cli -j2 >/dev/null
videos=$build/bench/addfiles
mkdir -p "$videos"
if [ ! -f "$videos/clip_099.mp4" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=2 \
    -f lavfi -i sine=duration=2 -c:v libx264 -preset ultrafast -c:a aac -shortest "$videos/clip_000.mp4"
  for i in $(seq -f '%03g' 1 99); do cp "$videos/clip_000.mp4" "$videos/clip_$i.mp4"; done
fi
nproc | xargs printf 'cores: %s\n'
QT_QPA_PLATFORM=offscreen "$build/kelvane_addfiles_bench" "$videos"/clip_*.mp4
