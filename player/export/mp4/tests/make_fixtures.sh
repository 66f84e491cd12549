#!/usr/bin/env bash
# MP4 layouts that the spherical injection must handle, written by the
# ffmpeg command from the generated samples.
#
#   make_fixtures.sh SAMPLES_DIR OUTDIR
set -euo pipefail
samples=${1:?usage: make_fixtures.sh SAMPLES_DIR OUTDIR}
out=${2:?}
tmp="$out.partial"
rm -rf "$tmp"
mkdir -p "$tmp"
ff() { ffmpeg -hide_banner -nostdin -loglevel error -y "$@"; }

src="$samples/twins.mp4"
# One H.264 video and one AAC track, "moov" after and before "mdat".
ff -i "$src" -t 1 -map 0:v -map 0:a -c copy "$tmp/moov-last.mp4"
ff -i "$src" -t 1 -map 0:v -map 0:a -c copy -movflags +faststart "$tmp/moov-first.mp4"
# Two video tracks and the audio.
ff -i "$src" -i "$samples/standard.mp4" -t 1 -map 0:v -map 1:v -map 0:a -c copy \
   -movflags +faststart "$tmp/two-video.mp4"
# Audio only.
ff -i "$src" -t 1 -map 0:a -c copy "$tmp/audio-only.mp4"
# Fragmented: movie fragments with absolute base data offsets, and with
# offsets relative to each fragment.
ff -i "$src" -t 1 -map 0:v -map 0:a -c copy -movflags frag_keyframe+empty_moov "$tmp/fragmented.mp4"
ff -i "$src" -t 1 -map 0:v -c copy -movflags frag_keyframe+empty_moov+default_base_moof "$tmp/fragmented-moof-base.mp4"
# Not an MP4 at all.
cp "$samples/scene.png" "$tmp/not-mp4.mp4"

rm -rf "$out"
mv "$tmp" "$out"
