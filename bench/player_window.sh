#!/usr/bin/env bash
# The player's window against mpv with its v360 filter, both under this
# machine's GL (Mesa llvmpipe in Xvfb here), on two-lens clips of 3840 × 1920
# (a stitched scene, and flat colours that cost the decoder nothing) and of
# 5760 × 2880. What counts is what reaches the screen: the picture area is
# grabbed at 60 frames per second for two seconds (ffmpeg x11grab) and the
# distinct frames in the grab are counted, for both players alike. Our
# player also reports the time to its first picture and its own counters.
#
#   player_window.sh PLAYER_BENCH SAMPLEGEN OUTDIR
set -euo pipefail
bench=${1:?usage: player_window.sh PLAYER_BENCH SAMPLEGEN OUTDIR}
samplegen=${2:?}
out=${3:?}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$0" "$@"
fi
command -v mpv >/dev/null || { echo "player_window.sh: mpv is missing (scripts/bootstrap installs it)" >&2; exit 1; }
mkdir -p "$out"
# Clips long enough to grab two seconds after the start, made once.
if [ ! -e "$out/.complete" ]; then
  echo "Generating the 3840- and 5760-wide clips in $out (a few minutes)"
  "$samplegen" --out "$out/3840" --width 3840 --duration 6 >/dev/null
  "$samplegen" --out "$out/5760" --width 5760 --duration 5 >/dev/null
  text=$(ffprobe -v error -show_entries format_tags=original_format -of default=nw=1:nk=1 "$out/3840/twins.mp4")
  ffmpeg -hide_banner -loglevel error -y -f lavfi \
    -i "color=c=black:s=3840x1920:r=30:d=6,geq=lum='mod(N*37\,200)+20':cb='mod(N*53\,200)+28':cr='mod(N*71\,200)+28'" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -color_primaries bt709 -color_trc bt709 -colorspace bt709 \
    -metadata original_format="$text" -movflags use_metadata_tags "$out/flat-3840.mp4"
  touch "$out/.complete"
fi

# Distinct frames per second in a 2-second grab of the screen's top-left W × H.
grab() {
  ffmpeg -hide_banner -loglevel error -f x11grab -framerate 60 -video_size "$1" -i "$DISPLAY+0,0" -t 2 \
      -f framemd5 - 2>/dev/null |
    awk -F', *' '!/^#/ { if ($6 != last) n++; last = $6 } END { printf "%.1f", n / 2 }'
}

measure() {
  local file=$1 size=$2 w=${2%x*} h=${2#*x}
  local log ours mpvrate
  log=$(mktemp)
  "$bench" "$file" 4.5 --view "$size" --at-origin >"$log" 2>/dev/null &
  local pid=$!
  sleep 1.5
  ours=$(grab "$size")
  wait "$pid" || true
  mpv --no-config --really-quiet --ao=null --geometry="$size+0+0" --vf="v360=dfisheye:flat:w=$w:h=$h" \
      --length=4.5 "$file" >/dev/null 2>&1 &
  pid=$!
  sleep 1.5
  mpvrate=$(grab "$size")
  wait "$pid" || true
  printf '%-16s %-9s  ours %5s frames/s, mpv+v360 %5s frames/s, ratio %s   [%s]\n' \
    "$(basename "$(dirname "$file")")/$(basename "$file")" "$size" "$ours" "$mpvrate" \
    "$(awk -v a="$ours" -v b="$mpvrate" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }')" \
    "$(sed -n 's/.*first stitched picture on screen after \([0-9]*\) ms.*frames decoded \(.*\)/first picture \1 ms; decoded \2/p' "$log")"
  rm -f "$log"
}

echo "Machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB; GL: Mesa llvmpipe under Xvfb; $(mpv --version | head -1 | cut -d' ' -f1-2)"
echo "Distinct frames on screen per second (of 30), grabbed at 60 per second:"
for run in 1 2; do
  measure "$out/flat-3840.mp4" 960x540
  measure "$out/flat-3840.mp4" 1440x810
  measure "$out/3840/twins.mp4" 960x540
  measure "$out/3840/twins.mp4" 1440x810
  measure "$out/5760/twins.mp4" 1440x810
done
