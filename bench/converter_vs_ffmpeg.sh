#!/usr/bin/env bash
# Converter image on the 3840 × 1920 twins still against the ffmpeg command
# doing the same remap with its v360 filter (dual fisheye to
# equirectangular, same output size, JPEG out), in one hyperfine run. Both
# start a process per run, as the player's export does.
#
#   converter_vs_ffmpeg.sh CONVERTER SAMPLEGEN SAMPLES_DIR
set -euo pipefail
converter=${1:?usage: converter_vs_ffmpeg.sh CONVERTER SAMPLEGEN SAMPLES_DIR}
samplegen=${2:?}
samples=${3:?}
# The Converter needs a display for its GL context.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-noreset" "$0" "$@"
fi
"$(dirname "$0")/bench_samples.sh" "$samplegen" "$samples"
still="$samples/twins.jpg"
calibration=$(exiftool -s3 -LensModel "$still")
out="$samples/bench-out"
mkdir -p "$out"

hyperfine --warmup 2 --runs 10 -N --export-markdown "$samples/converter-bench.md" \
  -n "Converter image" "$converter image $still $out/converter.jpg 3840 1920 $calibration 0 20" \
  -n "ffmpeg v360" "ffmpeg -v error -nostdin -y -i $still -vf v360=dfisheye:e:w=3840:h=1920 -q:v 2 $out/ffmpeg.jpg"
