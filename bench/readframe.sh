#!/usr/bin/env bash
# Measures the probe's frame reads, fast and accurate, on a 1280x720 H.264 file with a key frame every 250 frames.
# Usage: bench/readframe.sh   (builds first; prints the figures)
set -euo pipefail
cd "$(dirname "$0")/.."
make -s build >/dev/null
video=build/bench/h264-720p-gop250.mp4
mkdir -p build/bench
if [ ! -f "$video" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=60 \
    -c:v libx264 -preset veryfast -g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p "$video"
fi
nproc | xargs printf 'cores: %s\n'
build/kelvane_readframe_bench "$video"
