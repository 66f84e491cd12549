#!/usr/bin/env bash
# Writes the files that the Lensmeta tests read, made by the real tools that
# cameras' files are checked against: exiftool tags JPEG stills (in both byte
# orders) and the ffmpeg command writes MP4 container metadata.
#
#   make_fixtures.sh OUTDIR
set -euo pipefail
out=${1:?usage: make_fixtures.sh OUTDIR}
tmp="$out.partial"
rm -rf "$tmp"
mkdir -p "$tmp"

ff() { ffmpeg -hide_banner -nostdin -loglevel error -y "$@"; }
tag() { exiftool -q -q -overwrite_original "$@"; }

twins='6_952_960_960_0_0.8_-0.6_952_2880_960_180_-0.5_0.7_3840_1920_0_0_0_0_0.02_-0.05_0.08_-0.03_0.04_0.06_200_200'
sphere='5_450_480_480_960_960_236_0_0_0'
general='2_900_960_960_0_0_0_900_2880_960_180_0_0_3840_1920_3840_1920_195_195'
type3='3_900_960_960_0_0_0_900_2880_960_180_0_0_3840_1920_3840_1920_190_190'

ff -f lavfi -i color=c=gray:s=64x32 -frames:v 1 "$tmp/base.jpg"

for order in II MM; do
  f="$tmp/tagged-$order.jpg"
  cp "$tmp/base.jpg" "$f"
  tag -ExifByteOrder=$order -LensModel="$twins" -ExifIFD:SerialNumber=SN-$order-42 \
      -Make=TestMake -Model=TestModel -Orientation#=6 -LensMake=TestLens \
      -ExposureTime=1/250 -FNumber=2.8 -ISO=200 -FocalLength=1.9 \
      -DateTimeOriginal='2026:12:01 10:20:30' \
      -GPSLatitude=35.5 -GPSLatitudeRef=S -GPSLongitude=139.25 -GPSLongitudeRef=W \
      -GPSAltitude=12.5 -GPSAltitudeRef#=1 "$f"
done
cp "$tmp/base.jpg" "$tmp/sphere.jpg"
tag -LensModel="$sphere" "$tmp/sphere.jpg"
# EXIF without the lens model, and a still whose first APP1 block is XMP.
cp "$tmp/base.jpg" "$tmp/no-lens.jpg"
tag -Make=TestMake -ExifIFD:SerialNumber=SN-NOLENS "$tmp/no-lens.jpg"
cp "$tmp/base.jpg" "$tmp/xmp-only.jpg"
tag -XMP-dc:Description=plain "$tmp/xmp-only.jpg"
cp "$tmp/tagged-II.jpg" "$tmp/UPPER.JPG"

clip() {  # clip OUT [metadata options...]
  local o=$1; shift
  ff -f lavfi -i color=c=gray:s=64x32:d=0.2:r=10 -c:v mpeg4 "$@" -movflags use_metadata_tags "$o"
}
clip "$tmp/original6.mp4" -metadata original_format="$twins" -metadata comment="$sphere"
clip "$tmp/original2-comment3.mp4" -metadata original_format="$general" -metadata comment="$type3"
clip "$tmp/original2.mp4" -metadata original_format="$general"
clip "$tmp/comment-only.mp4" -metadata comment="$twins"
clip "$tmp/sphere.mp4" -metadata original_format="$sphere"
clip "$tmp/plain.mp4"
cp "$tmp/original6.mp4" "$tmp/UPPER.MP4"
cp "$tmp/original6.mp4" "$tmp/original6.mov"

rm -rf "$out"
mv "$tmp" "$out"
