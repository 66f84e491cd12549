#!/usr/bin/env bash
# Short clips in the containers and codecs the player must open, written by
# the ffmpeg command, plus damaged files.
#
#   make_fixtures.sh SAMPLES_DIR OUTDIR
set -euo pipefail
samples=${1:?usage: make_fixtures.sh SAMPLES_DIR OUTDIR}
out=${2:?}
tmp="$out.partial"
rm -rf "$tmp"
mkdir -p "$tmp"
ff() { ffmpeg -hide_banner -nostdin -loglevel error -y "$@"; }

# One second at 25 fps with a tone; every frame is distinct (testsrc counts).
src=(-f lavfi -i testsrc=size=320x160:rate=25:duration=1 -f lavfi -i sine=frequency=440:duration=1:sample_rate=44100)
ff "${src[@]}" -c:v libx264 -preset veryfast -g 10 -bf 2 -pix_fmt yuv420p -c:a aac -ac 2 "$tmp/h264-aac.mp4"
ff "${src[@]}" -c:v libx265 -preset ultrafast -x265-params log-level=none -g 10 -pix_fmt yuv420p \
   -c:a aac -ac 2 -tag:v hvc1 "$tmp/hevc-aac.mov"
ff "${src[@]}" -c:v mpeg4 -g 10 -c:a libmp3lame -ac 2 -ar 44100 "$tmp/mpeg4-mp3.mp4"
ff "${src[@]}" -c:v libx264 -preset veryfast -g 10 -pix_fmt yuv420p -c:a libmp3lame -ac 2 -ar 44100 "$tmp/h264-mp3.flv"
# Video only, three seconds, for seeking and real-time checks.
ff -f lavfi -i testsrc=size=320x160:rate=25:duration=3 -c:v libx264 -preset veryfast -g 25 \
   -pix_fmt yuv420p "$tmp/video-3s.mp4"
cp "$samples/twins.jpg" "$tmp/still.jpg"
# Damaged and non-media files.
: > "$tmp/empty.mp4"
head -c 20000 "$tmp/h264-aac.mp4" > "$tmp/truncated.mp4"
# An MP4 signature followed by picture bytes: recognised, then unreadable.
{ printf '\0\0\0\030ftypisom\0\0\2\0isomiso2'; cat "$samples/scene.png"; } > "$tmp/noise.mp4"
echo "this is not a video" > "$tmp/text.mp4"

rm -rf "$out"
mv "$tmp" "$out"
