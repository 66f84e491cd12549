#!/usr/bin/env bash
# Makes the 3840 × 1920 sample set that the benchmarks share, once.
#   bench_samples.sh SAMPLEGEN OUTDIR
set -euo pipefail
samplegen=${1:?usage: bench_samples.sh SAMPLEGEN OUTDIR}
out=${2:?}
if [ ! -e "$out/.complete" ]; then
  echo "Generating 3840x1920 samples in $out"
  rm -rf "$out"
  "$samplegen" --out "$out" --width 3840 --duration 2
  touch "$out/.complete"
fi
