#!/usr/bin/env bash
# Converts the same jobs with kelvane-cli and with the ffmpeg tool, at the same codec thread count, and
# prints per job the median wall time of 5 runs for each side, their ratio and each side's peak resident
# memory; then the same with both tools at their defaults. With "defaults" only the last table is made.
# Usage: bench/convert.sh [runs] [defaults]   (builds first; needs /usr/bin/time)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
only=${2:-}
[ -x /usr/bin/time ] || { echo "bench/convert.sh needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
[ -x build/kelvane-cli ] || make -s build >/dev/null
work=build/bench
mkdir -p "$work"
source_file=$work/source-720p.mkv
if [ ! -f "$source_file" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=10 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 "$source_file"
fi

# name | output | kelvane-cli output lines | ffmpeg output arguments
jobs=(
  "mpeg4-avi|out.avi|-o vcodec=mpeg4 -o s=320x240 -o acodec=libmp3lame -o ar=44100 -o ac=2 -o ab=128000|-c:v mpeg4 -s 320x240 -c:a libmp3lame -ar 44100 -ac 2 -b:a 128k"
  "x264-mkv|out.mkv|-o vcodec=libx264 -o acodec=libvorbis -o ar=44100 -o ac=2 -o ab=128000|-c:v libx264 -c:a libvorbis -ar 44100 -ac 2 -b:a 128k"
  "wmv2-wmv|out.wmv|-o vcodec=wmv2 -o s=640x360 -o acodec=wmav2 -o ar=44100 -o ac=2 -o ab=128000|-c:v wmv2 -s 640x360 -c:a wmav2 -ar 44100 -ac 2 -b:a 128k"
  "copy-mkv|out.mkv|-o vcodec=copy -o acodec=copy|-c:v copy -c:a copy"
  "dvd|out.mpg|-o target=pal-dvd|-target pal-dvd"
)

# Runs a command $runs times; prints "median_seconds peak_kb".
measure() {
  local times=() peaks=() i t m
  for ((i = 0; i < runs; i++)); do
    rm -f "$work"/out.*
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/last-error.txt" ||
      { echo "failed: $* ($(tail -n 1 "$work/last-error.txt"))" >&2; return 1; }
    read -r t m <"$work/time.txt"
    times+=("$t"); peaks+=("$m")
  done
  local median peak
  median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
  echo "$median $peak"
}

table() {  # $1: kelvane thread option, $2: ffmpeg thread arguments (input side), $3: output side
  printf '%-10s %10s %10s %7s %12s %12s\n' job kelvane_s ffmpeg_s ratio kelvane_MB ffmpeg_MB
  local job name out klines fargs k f
  for job in "${jobs[@]}"; do
    IFS='|' read -r name out klines fargs <<<"$job"
    # shellcheck disable=SC2086
    k=$(measure build/kelvane-cli convert -y $1 $klines "$source_file" "$work/$out")
    # shellcheck disable=SC2086
    f=$(measure ffmpeg -nostdin -v error -y $2 -i "$source_file" $fargs $3 "$work/$out")
    read -r kt km <<<"$k"
    read -r ft fm <<<"$f"
    printf '%-10s %10.2f %10.2f %7.2f %12.1f %12.1f\n' "$name" "$kt" "$ft" "$(echo "$kt / $ft" | bc -l)" \
      "$(echo "$km / 1024" | bc -l)" "$(echo "$fm / 1024" | bc -l)"
  done
}

printf 'cores: %s, runs per figure: %s, source: 1280x720 25 fps H.264 + AAC, 10 s\n\n' "$(nproc)" "$runs"
for threads in 1 2; do
  [ "$only" = defaults ] && break
  printf 'codec threads: %s on both sides\n' "$threads"
  table "--threads $threads" "-threads $threads" "-threads $threads"
  echo
done
echo 'defaults: kelvane-cli automatic threads, ffmpeg without -threads'
table "" "" ""
