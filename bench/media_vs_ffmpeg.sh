#!/usr/bin/env bash
# The playback layer on the 3840 × 1920 twins sample:
# 1. decoding every frame to a renderer that drops it, against
#    `ffmpeg -threads N -i FILE -f null -` with the same thread count, in one
#    hyperfine run;
# 2. real-time playback into a renderer that converts each frame to a
#    1920 × 960 ARGB32 image, three times, counting frames presented more
#    than one frame interval late.
#
#   media_vs_ffmpeg.sh MEDIA_BENCH SAMPLEGEN SAMPLES_DIR [THREADS]
set -euo pipefail
bench=${1:?usage: media_vs_ffmpeg.sh MEDIA_BENCH SAMPLEGEN SAMPLES_DIR [THREADS]}
samplegen=${2:?}
samples=${3:?}
threads=${4:-$(nproc)}
"$(dirname "$0")/bench_samples.sh" "$samplegen" "$samples"
file="$samples/twins.mp4"
export QT_QPA_PLATFORM=offscreen

hyperfine --warmup 2 --runs 10 -N --export-markdown "$samples/media-decode-bench.md" \
  -n "media-bench decode" "$bench decode $file --threads $threads" \
  -n "ffmpeg -f null" "ffmpeg -v error -nostdin -threads $threads -i $file -f null -"

echo "Real-time playback into 1920x960 ARGB32 images ($(nproc) cores):"
for run in 1 2 3; do
  "$bench" realtime "$file" 2>/dev/null
done
