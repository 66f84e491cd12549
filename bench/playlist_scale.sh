#!/usr/bin/env bash
# The player with a playlist of 100 000 rows against the same player with
# an empty one, on a fresh HOME each: the time from the start to a mapped
# main window, the memory it holds once up (VmRSS) and the time from a
# click on the close button to the end of the process. More than one
# PLAYER compares builds (say the one before a change and the one after).
#
#   playlist_scale.sh OUTDIR PLAYER [PLAYER ...]
set -euo pipefail
out=${1:?usage: playlist_scale.sh OUTDIR PLAYER [PLAYER ...]}
shift
[ $# -ge 1 ] || { echo "usage: playlist_scale.sh OUTDIR PLAYER [PLAYER ...]" >&2; exit 2; }
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$0" "$out" "$@"
fi
mkdir -p "$out"
rows=100000
if [ ! -e "$out/large.plist" ]; then
  awk -v n=$rows 'BEGIN {
    print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"; print "<plist>"
    for (k = 0; k < n; k++)
      printf "    <item type=\"video\">\n        <name>clip %d</name>\n        <path>/media/trip/clip %d.mp4</path>\n        <extip>00:01:%02d</extip>\n        <model>2</model>\n    </item>\n", k, k, k % 60
    print "</plist>" }' > "$out/large.plist.tmp"
  mv "$out/large.plist.tmp" "$out/large.plist"
fi
now_ms() { date +%s%3N; }

# run PLAYER PLIST_OR_EMPTY: prints "window_ms rss_mb close_ms".
run() {
  local player=$1 plist=$2 home
  home=$(mktemp -d "$out/home.XXXXXX")
  mkdir -p "$home/data/VistamoPlayer"
  [ -n "$plist" ] && cp "$plist" "$home/data/VistamoPlayer/VistamoPlayer.plist"
  local start; start=$(now_ms)
  HOME=$home XDG_DATA_HOME=$home/data "$player" >/dev/null 2>&1 &
  local pid=$! id=""
  for _ in $(seq 1 600); do
    id=$(xdotool search --onlyvisible --pid $pid 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && break
    sleep 0.01
  done
  local window=$(( $(now_ms) - start ))
  sleep 2
  local rss; rss=$(awk '/^VmRSS/ { printf "%.0f", $2 / 1024 }' /proc/$pid/status)
  # The close button: the title bar's last, 12 pixels in from the corner.
  eval "$(xdotool getwindowgeometry --shell "$id")"
  local closing; closing=$(now_ms)
  xdotool mousemove $((X + WIDTH - 12)) $((Y + 14)) click 1
  for _ in $(seq 1 3000); do kill -0 $pid 2>/dev/null || break; sleep 0.01; done
  local close=$(( $(now_ms) - closing ))
  kill -9 $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  rm -rf "$home"
  echo "$window $rss $close"
}

printf '%-50s %12s %12s %12s %12s\n' "player" "window ms" "close ms" "RSS MB" "RSS extra MB"
for player in "$@"; do
  for k in 1 2; do
    read -r w0 r0 c0 < <(run "$player" "")
    read -r w1 r1 c1 < <(run "$player" "$out/large.plist")
    printf '%-50s %12s %12s %12s %12s   (empty list: %s ms, %s MB)\n' "$player [$k]" "$w1" "$c1" "$r1" "$((r1 - r0))" "$w0" "$r0"
  done
done
