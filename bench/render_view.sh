#!/usr/bin/env bash
# The panorama view on the 3840 × 1920 twins sample under this machine's GL
# (Mesa llvmpipe in Xvfb here): takeFrame time for one frame and the frames
# per second a 1280 × 720 view sustains, three runs.
#
#   render_view.sh RENDER_BENCH SAMPLEGEN SAMPLES_DIR
set -euo pipefail
bench=${1:?usage: render_view.sh RENDER_BENCH SAMPLEGEN SAMPLES_DIR}
samplegen=${2:?}
samples=${3:?}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$0" "$@"
fi
"$(dirname "$0")/bench_samples.sh" "$samplegen" "$samples"
echo "Machine: $(nproc) cores; GL: $(glxinfo -B 2>/dev/null | sed -n 's/.*OpenGL renderer string: //p' || true)"
for run in 1 2 3; do
  "$bench" "$samples/twins.mp4" 2>/dev/null | grep -v -e compile -e "Opengl" -e "^6_"
done
