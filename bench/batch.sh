#!/usr/bin/env bash
# Converts eight H.264 + AAC files of mixed sizes and lengths (720p, 480p, 360p, 10-30 s) with three shipped
# presets through the window (kelvane_batch_bench: add, choose, Start) at 1, 2 and automatic tasks at
# once, and with the ffmpeg tool one file after another at its default threads with the same settings
# (the preset's option records for each file, from kelvane-cli convert --dry-run, turned into ffmpeg's
# arguments by bench/ffmpeg-args.py). Prints each wall time (median of RUNS), the load beside it, and the
# ratios.
# Usage: bench/batch.sh [RUNS] [BUILD_FOLDER]   (default 1 run, build; builds the benchmark first)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1}
build=${2:-build}
cmake --build "$build" --target kelvane_batch_bench kelvane-cli kelvane_profiles -j2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"

# size and seconds of each file
files=("1280x720 12" "854x480 20" "640x360 30" "1280x720 25" "854x480 10" "640x360 16" "1280x720 18" "854x480 28")
inputs=()
for i in "${!files[@]}"; do
  read -r size seconds <<<"${files[$i]}"
  input="$work/in/clip$i-${size}.mkv"
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=25:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 -shortest "$input"
  inputs+=("$input")
done
presets=(3GP/3 MP4/15 WMV/2)

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
load() { cut -d' ' -f1 /proc/loadavg; }
now_ms() { date +%s%3N; }

# The ffmpeg tool, one file after another; prints ms.
ffmpeg_batch() {
  local preset=$1 input ext start
  rm -rf "$work/ff" && mkdir -p "$work/ff"
  start=$(now_ms)
  for input in "${inputs[@]}"; do
    records=$("$build/kelvane-cli" convert --preset "$preset" --dry-run -d "$work/ff" "$input")
    ext=$(python3 -c 'import json,sys; print(json.load(sys.stdin)["output"]["FileExt"])' <<<"$records")
    mapfile -t args < <(python3 bench/ffmpeg-args.py <<<"$records")
    ffmpeg -nostdin -v error -y -i "$input" "${args[@]}" "$work/ff/$(basename "$input" .mkv)$ext"
  done
  echo $(($(now_ms) - start))
}

# The window at TASKS at once; prints ms.
window_batch() {
  local preset=$1 tasks=$2
  rm -rf "$work/out" && mkdir -p "$work/out"
  QT_QPA_PLATFORM=offscreen "$build/kelvane_batch_bench" --preset "$preset" --tasks "$tasks" --output "$work/out" \
    "${inputs[@]}" | sed -n 's/.*: \([0-9]*\) ms$/\1/p'
}

# Median of RUNS of a command printing ms, and the load (1 min) before the first run.
measure() {
  local l i times=()
  l=$(load)
  for ((i = 0; i < runs; i++)); do times+=("$("$@")"); done
  printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | median)" "$l"
}

printf 'cores: %s, runs per figure: %s, files: %s\n\n' "$(nproc)" "$runs" "${files[*]}"
printf '%-8s %14s %14s %14s %14s %9s %9s %9s\n' preset 'ffmpeg_s(load)' '1_s(load)' '2_s(load)' 'auto_s(load)' \
  auto/ff auto/1 2/1
for preset in "${presets[@]}"; do
  read -r f fl <<<"$(measure ffmpeg_batch "$preset")"
  read -r k1 l1 <<<"$(measure window_batch "$preset" 1)"
  read -r k2 l2 <<<"$(measure window_batch "$preset" 2)"
  read -r ka la <<<"$(measure window_batch "$preset" auto)"
  printf '%-8s %8.2f(%4s) %8.2f(%4s) %8.2f(%4s) %8.2f(%4s) %9.2f %9.2f %9.2f\n' "$preset" \
    "$(bc -l <<<"$f / 1000")" "$fl" "$(bc -l <<<"$k1 / 1000")" "$l1" "$(bc -l <<<"$k2 / 1000")" "$l2" \
    "$(bc -l <<<"$ka / 1000")" "$la" "$(bc -l <<<"$ka / $f")" "$(bc -l <<<"$ka / $k1")" "$(bc -l <<<"$k2 / $k1")"
done
