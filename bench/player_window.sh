#!/usr/bin/env bash
# The player's window on the 3840 × 1920 twins sample under this machine's GL
# (Mesa llvmpipe in Xvfb here): the time from opening the file to the first
# stitched picture on screen, and the pictures per second shown while it
# plays; three runs.
#
#   player_window.sh PLAYER_BENCH SAMPLEGEN SAMPLES_DIR
set -euo pipefail
bench=${1:?usage: player_window.sh PLAYER_BENCH SAMPLEGEN SAMPLES_DIR}
samplegen=${2:?}
samples=${3:?}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$0" "$@"
fi
"$(dirname "$0")/bench_samples.sh" "$samplegen" "$samples"
echo "Machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB; GL: Mesa llvmpipe under Xvfb"
for run in 1 2 3; do
  "$bench" "$samples/twins.mp4" 1.8 2>/dev/null | grep "first stitched"
done
