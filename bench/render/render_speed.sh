#!/bin/sh
# tavro-render's speed in times real time at several video sizes, with where the time goes: the
# renderer's own split (the show, fitting the frame, handing frames to ffmpeg) and the CPU seconds
# of the renderer and of ffmpeg. The shipped band and styles, the built-in synthesizer.
#
#   bench/render/render_speed.sh [SONG [SECONDS [SIZE...]]]
#
# SONG defaults to the demo's rock song, SECONDS to 30, the sizes to 816x400 and 1920x1080.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
render="$root/build/release/program/tavro-render"
song=${1:-$root/data/demo/rock.mid}
seconds=${2:-30}
[ $# -gt 2 ] && shift 2 || set -- 816x400 1920x1080
[ -x "$render" ] || { echo "render_speed: build the release preset first ($render)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/render_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "$song, $seconds s of show, $(nproc) cores"
for size in "$@"; do
  "$render" "$song" --seconds "$seconds" --size "$size" -o "$work/$size.mp4" >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; exit 1; }
  took=$(grep -o 'took .*' "$work/log" | tail -n 1)
  split=$(grep -o "time (CPU/wall): .*" "$work/log" | tail -n 1)
  echo "$size: $took; $split"
done
