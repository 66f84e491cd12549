#!/usr/bin/env bash
# Reading the calibration of the JPEG and MP4 samples: lensmeta-info against
# exiftool -LensModel on the same files, in one hyperfine run. Both tools
# start a process per run, as the player's callers do.
#
#   lensmeta_vs_exiftool.sh LENSMETA_INFO SAMPLEGEN OUTDIR
set -euo pipefail
info=${1:?usage: lensmeta_vs_exiftool.sh LENSMETA_INFO SAMPLEGEN OUTDIR}
samplegen=${2:?}
out=${3:?}

"$(dirname "$0")/bench_samples.sh" "$samplegen" "$out"

files=("$out/twins.jpg" "$out/twins.mp4" "$out/sphere.jpg" "$out/sphere.mp4")
# exiftool reads the MP4 entry under its own name; ask for both.
hyperfine --warmup 3 --min-runs 20 -N \
  --export-markdown "$out/lensmeta-bench.md" \
  -n "lensmeta-info" "$info ${files[*]}" \
  -n "exiftool -LensModel" "exiftool -q -LensModel -OriginalFormat ${files[*]}"
echo "Results table: $out/lensmeta-bench.md"
