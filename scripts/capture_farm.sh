#!/usr/bin/env bash
# Splits one offline capture into frame ranges rendered by independent
# vesper processes under GNU parallel (local cores, or the machines of an
# --sshloginfile), then joins them. With --capture DIR: the frames into DIR,
# the parts' music into DIR/music.wav (ffmpeg's concat demuxer,
# sample-exact), and with --video one video made from those. With --video
# alone: each part pipes its frames into ffmpeg as a lossless segment (FFVHuff
# + FLAC), and the concat demuxer joins the segments, copied as they are for
# .mkv, encoded once for .mp4; no PNG is written. Frames and music equal
# those of one process's capture.
#
# Usage: scripts/capture_farm.sh (--capture DIR | --video FILE.mp4|FILE.mkv |
#          both) --fps R [--from MS] [--to MS] [--jobs N] [--parts P]
#          [--sshloginfile FILE] [--vesper PROGRAM] [-- VESPER-OPTIONS...]
#   --jobs N          processes at a time on each machine (default: its cores)
#   --parts P         ranges the capture is cut into (default: N, or 4 per
#                     machine with --sshloginfile)
#   --sshloginfile F  run the parts on the machines listed in F (GNU parallel's
#                     format); each needs vesper and the production at the same
#                     paths, and DIR (or FILE's directory) on a shared file
#                     system
#   --vesper PROGRAM  the player (default: build/src/vesper of this checkout)
#   VESPER-OPTIONS    passed to every part, e.g. --data DIR --headless
#                     --windowed --resolution 640x360
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "capture_farm: $*" >&2; exit 1; }

dir="" fps="" from="" to="" video="" jobs="" parts="" logins=""
vesper="$here/build/src/vesper"
while (($#)); do
  case "$1" in
    --capture|--fps|--from|--to|--video|--jobs|--parts|--sshloginfile|--vesper)
      (($# >= 2)) || die "$1 wants a value"
      case "$1" in
        --capture) dir=$2 ;; --fps) fps=$2 ;; --from) from=$2 ;; --to) to=$2 ;;
        --video) video=$2 ;; --jobs) jobs=$2 ;; --parts) parts=$2 ;;
        --sshloginfile) logins=$2 ;; --vesper) vesper=$2 ;;
      esac
      shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option '$1' (try --help)" ;;
  esac
done
passed=("$@")
[ -n "$dir$video" ] && [ -n "$fps" ] ||
  die "--capture DIR or --video FILE, and --fps R, are needed (try --help)"
for n in "$jobs" "$parts"; do
  [ -z "$n" ] || [[ "$n" =~ ^[1-9][0-9]*$ ]] || die "--jobs and --parts want a count of 1 or more"
done
command -v parallel > /dev/null || die "needs GNU parallel, which is not on PATH"
command -v ffmpeg > /dev/null || die "needs ffmpeg (it joins the parts), which is not on PATH"
[ -x "$vesper" ] || die "no player at $vesper (build it, or name it with --vesper)"
[ -z "$logins" ] || [ -r "$logins" ] || die "cannot read $logins"
case "$video" in ""|*.mp4|*.mkv) ;; *) die "--video wants an .mp4 or .mkv file" ;; esac

if [ -n "$dir" ]; then
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  work="$dir/parts"
else
  # The segments lie beside the video.
  mkdir -p "$(dirname "$video")"
  video="$(cd "$(dirname "$video")" && pwd)/$(basename "$video")"
  work="$video.parts"
fi
range=(--fps "$fps")
[ -z "$from" ] || range+=(--from "$from")
[ -z "$to" ] || range+=(--to "$to")
total=$("$vesper" "${passed[@]}" --capture "$work" "${range[@]}" --count-frames) || exit 1
if [ -z "$parts" ]; then
  if [ -n "$logins" ]; then
    parts=$((4 * $(grep -cv '^\s*\(#\|$\)' "$logins")))
  else
    parts=${jobs:-$(nproc)}
  fi
fi
((parts <= total)) || parts=$total

# One command line per part: frames [first, first + count) of the whole
# capture, into a directory of its own (each part writes its own music.wav),
# or into a segment of its own.
rm -rf "$work"
mkdir -p "$work"
list="$work/commands"
for ((i = 0; i < parts; ++i)); do
  first=$((total * i / parts))
  count=$((total * (i + 1) / parts - first))
  if [ -n "$dir" ]; then
    out=(--capture "$work/$i")
  else
    out=(--video "$work/$i.mkv")
  fi
  printf '%q ' "$vesper" "${passed[@]}" "${out[@]}" "${range[@]}" \
    --first-frame "$first" --frames "$count" >> "$list"
  echo >> "$list"
done

echo "capture_farm: $total frames in $parts parts${jobs:+, $jobs at a time}${logins:+ on the machines of $logins}" >&2
started=$(date +%s.%N)
options=(--will-cite --halt now,fail=1 --line-buffer --tagstring 'part {#}:')
[ -z "$jobs" ] || options+=(--jobs "$jobs")
[ -z "$logins" ] || options+=(--sshloginfile "$logins")
parallel "${options[@]}" < "$list" || die "a part failed (see above)"

finished() {
  awk -v n="$total" -v a="$started" -v b="$(date +%s.%N)" \
    'BEGIN { printf "capture_farm: %d frames in %.2f s, %.2f fps\n", n, b - a, n / (b - a) }' >&2
}
ffmpeg=(ffmpeg -nostdin -hide_banner -loglevel error -xerror -y)
case "$video" in
  *.mp4) codecs=(-c:v libx264 -pix_fmt yuv420p -c:a aac -movflags +faststart -f mp4) ;;
  *.mkv) codecs=(-c:v ffvhuff -c:a flac -f matroska) ;;
esac
# ffmpeg writes beside the video, which appears only once it is whole.
make_video() {
  "${ffmpeg[@]}" "$@" "${codecs[@]}" "$video.partial" && mv -f "$video.partial" "$video" || {
    rm -f "$video.partial"
    die "ffmpeg failed; no video written"
  }
  echo "capture_farm: wrote $video" >&2
}

if [ -z "$dir" ]; then
  # The segments follow each other exactly: frames and samples as one
  # process streams them.
  concat="$work/segments.txt"
  for ((i = 0; i < parts; ++i)); do printf "file '%s'\n" "$work/$i.mkv" >> "$concat"; done
  finished
  [[ "$video" == *.mkv ]] && codecs=(-c copy -f matroska)
  make_video -f concat -safe 0 -i "$concat"
  rm -rf "$work"
  exit 0
fi

# Join: frame numbers are already those of the whole capture.
find "$dir" -maxdepth 1 -name 'frame_*.png' -delete
rm -f "$dir/music.wav"
concat="$work/music.txt"
for ((i = 0; i < parts; ++i)); do
  find "$work/$i" -maxdepth 1 -name 'frame_*.png' -exec mv -t "$dir" {} +
  printf "file '%s'\n" "$work/$i/music.wav" >> "$concat"
done
# Bit-exact and without metadata: the same plain WAVE file one process writes.
ffmpeg -nostdin -hide_banner -loglevel error -y -f concat -safe 0 -i "$concat" \
  -c copy -map_metadata -1 -fflags +bitexact "$dir/music.wav" || die "joining the music failed"
finished

if [ -n "$video" ]; then
  make_video -framerate "$fps" -start_number 0 -i "$dir/frame_%06d.png" -i "$dir/music.wav"
fi
rm -rf "$work"
