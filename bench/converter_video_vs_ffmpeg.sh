#!/usr/bin/env bash
# Converter video on the 3840 × 1920 twins sample against ffmpeg doing the
# same job with its v360 filter (dual fisheye to equirectangular) and
# libx264 at preset veryfast, same size and bit rate, AAC sound, in one
# hyperfine run; then each one's peak memory, and the engine's paced mode
# (frames at the media's own speed) once.
#
#   converter_video_vs_ffmpeg.sh CONVERTER VIDEO_JOB_BENCH SAMPLEGEN SAMPLES_DIR
set -euo pipefail
converter=${1:?usage: converter_video_vs_ffmpeg.sh CONVERTER VIDEO_JOB_BENCH SAMPLEGEN SAMPLES_DIR}
jobbench=${2:?}
samplegen=${3:?}
samples=${4:?}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-noreset" "$0" "$@"
fi
"$(dirname "$0")/bench_samples.sh" "$samplegen" "$samples"
video="$samples/twins.mp4"
out="$samples/bench-out"
mkdir -p "$out"
mbps=20
frames=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 "$video")
converter_cmd="$converter video $video $out/converter.mp4 3840 1920 '' 0 $mbps"
ffmpeg_cmd="ffmpeg -v error -nostdin -y -i $video -vf v360=dfisheye:e:w=3840:h=1920 -c:v libx264 -preset veryfast -b:v ${mbps}M -c:a aac -b:a 128k $out/ffmpeg.mp4"

hyperfine --warmup 1 --runs 3 --export-json "$samples/converter-video-bench.json" \
  --export-markdown "$samples/converter-video-bench.md" \
  -n "Converter video" "$converter_cmd" \
  -n "ffmpeg v360 + libx264" "$ffmpeg_cmd"

python3 - "$samples/converter-video-bench.json" "$frames" <<'PY'
import json, sys
results = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
frames = int(sys.argv[2])
ours, theirs = results["Converter video"], results["ffmpeg v360 + libx264"]
print(f"source frames: {frames}")
for name, t in results.items():
    print(f"{name}: {t:.2f} s, {frames / t:.2f} frames/s")
print(f"ratio Converter / ffmpeg: {ours / theirs:.3f}")
PY

peak() { /usr/bin/time -f "%M" bash -c "$1 >/dev/null 2>&1" 2>&1 | tail -1; }
echo "peak memory, Converter video: $(peak "$converter_cmd") KiB"
echo "peak memory, ffmpeg: $(peak "$ffmpeg_cmd") KiB"
echo "paced (media speed): $("$jobbench" --paced "$video" "$out/paced.mp4" 3840 1920 $mbps 2>/dev/null | grep "^frames")"
echo "unpaced: $("$jobbench" "$video" "$out/unpaced.mp4" 3840 1920 $mbps 2>/dev/null | grep "^frames")"
