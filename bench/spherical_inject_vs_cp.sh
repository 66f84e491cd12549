#!/usr/bin/env bash
# spherical-inject on a large MP4 ("moov" first, so every chunk offset
# moves) against cp of the same file and against exiftool writing the same
# XMP-GSpherical tags, in one hyperfine run; then the peak memory of each.
# Each run starts with no dirty pages (sync), so that the write-back of one
# run does not slow the next.
#
#   spherical_inject_vs_cp.sh SPHERICAL_INJECT SAMPLE_MP4 WORKDIR [TARGET_MB]
set -euo pipefail
inject=${1:?usage: spherical_inject_vs_cp.sh SPHERICAL_INJECT SAMPLE_MP4 WORKDIR [TARGET_MB]}
sample=${2:?}
work=${3:?}
target_mb=${4:-1024}
mkdir -p "$work"
big="$work/large-moov-first.mp4"

if [ ! -s "$big" ]; then
  sample_bytes=$(stat -c %s "$sample")
  loops=$(( target_mb * 1024 * 1024 / sample_bytes ))
  echo "Making $big from $loops copies of $sample"
  ffmpeg -hide_banner -nostdin -loglevel error -y -stream_loop "$loops" -i "$sample" \
    -map 0 -c copy -movflags +faststart "$big"
fi
ls -l "$big"

tags=(-XMP-GSpherical:Spherical=true -XMP-GSpherical:Stitched=true
      -XMP-GSpherical:ProjectionType=equirectangular
      "-XMP-GSpherical:StitchingSoftware=Spherical Metadata Tool")
out="$work/out.mp4"
hyperfine --warmup 1 --runs 10 --export-markdown "$work/spherical-bench.md" \
  --prepare "rm -f '$out'; sync" \
  -n cp "cp '$big' '$out'" \
  -n spherical-inject "'$inject' --quiet '$big' '$out'" \
  -n "exiftool XMP-GSpherical" "exiftool -q -o '$out' ${tags[*]@Q} '$big'"

echo "Peak resident memory (KiB):"
for name in cp spherical-inject exiftool; do
  rm -f "$out"
  case $name in
    cp) cmd=(cp "$big" "$out") ;;
    spherical-inject) cmd=("$inject" --quiet "$big" "$out") ;;
    exiftool) cmd=(exiftool -q -o "$out" "${tags[@]}" "$big") ;;
  esac
  printf '  %-18s %s\n' "$name" "$(/usr/bin/time -f %M "${cmd[@]}" 2>&1 >/dev/null | tail -n 1)"
done
rm -f "$out"
echo "Results table: $work/spherical-bench.md"
