#!/usr/bin/env bash
# Converts one 1280x720 fixture with the MP4 preset "高清 720P" (MPEG-4 video at 1.8 Mbit/s) and with the
# MP4-H264 preset "02 高清 720P" (H.264 High at CRF 23, capped at 1.6 Mbit/s), through kelvane-cli --preset,
# and prints each file's size and its PSNR against the source (ffmpeg's psnr filter).
# Usage: bench/preset-720p.sh CLI [WORKDIR]
set -euo pipefail
cli=$1; work=${2:-$(mktemp -d)}
mkdir -p "$work"
ff() { ffmpeg -nostdin -v error -y "$@"; }
src=$work/source.mkv
if [ ! -f "$src" ]; then
  # A moving picture with detail and smooth areas: a zoom into the Mandelbrot set, losslessly kept.
  ff -f lavfi -i "${SOURCE_FILTER:-mandelbrot=size=1280x720:rate=25,trim=duration=6,format=yuv420p}" \
     -f lavfi -i sine=frequency=440:sample_rate=44100:duration=6 -shortest \
     -c:v libx264 -qp 0 -preset ultrafast -c:a flac "$src"
fi
convert() {
  local out=$1; shift
  "$cli" convert -y "$@" "$src" "$out" 2>/dev/null
}
# The MP4 preset "13 高清 720P 1280x720" and the MP4-H264 preset "02 高清 720P", as the window resolves them
# (CRF=N overrides the H.264 preset's quality).
convert "$work/classic.mp4" --preset MP4/13
convert "$work/h264.mp4" --preset MP4-H264/2 ${CRF:+-o crf=$CRF}
psnr() {
  ffmpeg -nostdin -i "$1" -i "$src" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p'
}
printf '%-22s %12s %10s %14s\n' preset bytes "PSNR (dB)" "video kbit/s"
for name in classic h264; do
  file=$work/$name.mp4
  rate=$(ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of default=nw=1:nk=1 "$file")
  printf '%-22s %12d %10s %14d\n' "$name" "$(stat -c %s "$file")" "$(psnr "$file")" "$((rate / 1000))"
done
