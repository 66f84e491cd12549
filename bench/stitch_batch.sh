#!/usr/bin/env bash
# vistamo-stitch on four 1920 × 960 two-lens clips with one stitch at a time
# against two at once, and one 3840 × 1920 clip as H.264 against HEVC,
# whole-process runs with hyperfine (its mean and spread), reported as
# ratios. Runs under a virtual display (the Converter needs GL).
#
#   stitch_batch.sh VISTAMO_STITCH SAMPLEGEN OUTDIR
set -euo pipefail
stitch=${1:?usage: stitch_batch.sh VISTAMO_STITCH SAMPLEGEN OUTDIR}
samplegen=${2:?}
out=${3:?}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x720x24 -noreset" "$0" "$@"
fi
command -v hyperfine >/dev/null || { echo "stitch_batch.sh: hyperfine is missing (scripts/bootstrap installs it)" >&2; exit 1; }
mkdir -p "$out"
if [ ! -e "$out/.complete" ]; then
  echo "Generating the clips in $out"
  "$samplegen" --out "$out/1920" --width 1920 --duration 4 >/dev/null
  "$samplegen" --out "$out/3840" --width 3840 --duration 4 >/dev/null
  for k in 1 2 3 4; do cp "$out/1920/twins.mp4" "$out/clip$k.mp4"; done
  touch "$out/.complete"
fi
mkdir -p "$out/result"
clips=("$out"/clip1.mp4 "$out"/clip2.mp4 "$out"/clip3.mp4 "$out"/clip4.mp4)
echo "Machine: $(nproc) cores; four 1920 x 960 clips of 4 s:"
hyperfine --runs 3 --export-json "$out/jobs.json" \
  -n "jobs 1" "$stitch --force --jobs 1 --output-dir $out/result ${clips[*]}" \
  -n "jobs 2" "$stitch --force --jobs 2 --output-dir $out/result ${clips[*]}"
echo "One 3840 x 1920 clip of 4 s, at its full width:"
hyperfine --runs 3 --export-json "$out/codec.json" \
  -n "H.264" "$stitch --force --codec h264 --output-dir $out/result $out/3840/twins.mp4" \
  -n "HEVC" "$stitch --force --codec hevc --output-dir $out/result $out/3840/twins.mp4"
