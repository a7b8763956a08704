#!/usr/bin/env bash
# Adds COUNT short videos to the window the way the add button does and prints the time until every row is
# listed and the preview shows the last one, the longest pause of the window's thread meanwhile and the
# memory each row costs. The videos are hard links to one clip, each a file of its own to the list.
# Usage: bench/addfiles.sh [COUNT] [BUILD_FOLDER]   (default 100, build; builds the benchmark first)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-100}
build=${2:-build}
cmake --build "$build" --target kelvane_addfiles_bench kelvane-cli -j2 >/dev/null
videos=$build/bench/addfiles-$count
mkdir -p "$videos"
last=$(printf 'clip_%05d.mp4' $((count - 1)))
if [ ! -f "$videos/$last" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=2 \
    -f lavfi -i sine=duration=2 -c:v libx264 -preset ultrafast -c:a aac -shortest "$videos/clip_00000.mp4"
  for ((i = 1; i < count; i++)); do ln -f "$videos/clip_00000.mp4" "$videos/$(printf 'clip_%05d.mp4' "$i")"; done
fi
nproc | xargs printf 'cores: %s\n'
printf 'load: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
# More names than one command line holds: the benchmark gets them through xargs in one call.
find "$videos" -name 'clip_*.mp4' | sort | head -n "$count" |
  QT_QPA_PLATFORM=offscreen xargs -d '\n' -x -s 2000000 "$build/kelvane_addfiles_bench"
