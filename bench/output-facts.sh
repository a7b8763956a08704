#!/usr/bin/env bash
# Converts a set of small fixtures with kelvane-cli --threads 1 and writes, per job, the ffprobe stream
# facts, the framemd5 of every packet and decoded frame, the file md5 (not for Matroska, which writes a
# random segment id) and the log into OUTDIR. Run it with the old and the new kelvane-cli and compare the
# two folders with diff -r: a change that must not alter conversions leaves no difference. The sources are
# made once into SRC (default: OUTDIR/../sources), so both runs read the same files.
# Usage: bench/output-facts.sh CLI OUTDIR
set -euo pipefail
cli=$1; out=$2
src=${SRC:-$(dirname "$out")/sources}
mkdir -p "$src" "$out"
ff() { ffmpeg -nostdin -v error -y "$@"; }
if [ ! -f "$src/av.mp4" ]; then
  ff -f lavfi -i testsrc2=size=320x240:rate=25:duration=3 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 \
     -c:v libx264 -preset veryfast -c:a aac -shortest "$src/av.mp4"
  ff -f lavfi -i testsrc=size=352x288:rate=30000/1001:duration=2 -f lavfi -i sine=frequency=880:sample_rate=48000:duration=2 \
     -ac 2 -c:v mpeg4 -c:a libmp3lame -shortest "$src/av.avi"
  ff -f lavfi -i testsrc2=size=640x360:rate=24:duration=2 -c:v libx264 -preset veryfast "$src/video.mkv"
  ff -f lavfi -i sine=frequency=300:sample_rate=22050:duration=2 -c:a flac "$src/audio.flac"
fi
jobs=(
  "av.mp4|out1.mp4|"
  "av.mp4|out2.3gp|vcodec=h263;s=176x144;r=15;b=128000;acodec=aac;ar=22050;ac=1;ab=32000"
  "av.avi|out3.avi|vcodec=mpeg4;b=500000;acodec=libmp3lame"
  "av.mp4|out4.flv|vcodec=flv;s=320x240;acodec=libmp3lame;ar=22050"
  "video.mkv|out5.wmv|vcodec=wmv2;s=320x180;padtop=30;padbottom=30"
  "av.avi|out6.mkv|vcodec=mpeg4;croptop=16;cropbottom=16;t=1.5;ss=0.3"
  "audio.flac|out7.mp3|acodec=libmp3lame;ab=64000"
  "av.mp4|out8.mpg|target=pal-dvd"
  "av.mp4|out9.mp4|vcodec=copy;acodec=copy"
)
for j in "${jobs[@]}"; do
  IFS='|' read -r in name opts <<<"$j"
  args=()
  IFS=';' read -ra lines <<<"$opts"
  for l in "${lines[@]}"; do [ -n "$l" ] && args+=(-o "$l"); done
  rm -f "$out/$name"
  if "$cli" convert -y --threads 1 "${args[@]}" "$src/$in" "$out/$name" >"$out/$name.log" 2>&1; then
    ffprobe -v error -show_entries stream=index,codec_name,profile,width,height,pix_fmt,sample_aspect_ratio,display_aspect_ratio,r_frame_rate,avg_frame_rate,time_base,start_pts,duration_ts,nb_frames,sample_rate,channels,channel_layout,sample_fmt,bit_rate \
      -of compact "$out/$name" > "$out/$name.probe"
    ffmpeg -nostdin -v error -i "$out/$name" -map 0 -c copy -f framemd5 - > "$out/$name.pktmd5" 2>&1 || true
    ffmpeg -nostdin -v error -i "$out/$name" -map 0 -f framemd5 - > "$out/$name.framemd5" 2>&1 || true
    case "$name" in *.mkv) ;; *) md5sum < "$out/$name" | cut -c1-32 > "$out/$name.filemd5" ;; esac
  else
    echo "FAILED rc=$?" > "$out/$name.probe"
  fi
  grep -v '^\[progress\]' "$out/$name.log" | sed -E "s/@ [0-9A-F]+\]/@ PTR]/; s#$out/##" > "$out/$name.log2" || true; mv "$out/$name.log2" "$out/$name.log"
  rm -f "$out/$name"
done
echo done
