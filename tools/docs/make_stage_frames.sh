#!/usr/bin/env bash
# Renders the stage pictures of the README and the notes with the real renderer: frames of
# six corpus songs with the band, one corpus song in each of the five styles, and the demo songs.
# Each picture is one frame of `tavro-render --frames` at render scale 2 (1630 x 800, the 2x art),
# palette-compressed with pngquant; each style is also shown in a 1920 x 1080 video frame (JPEG).
#   tools/docs/make_stage_frames.sh [PROGRAM_DIR]   (default: build/release/program)
# Needs the corpus at ../shared/corpus; takes about three minutes on a busy machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
program=$(cd "${1:-build/release/program}" && pwd)
corpus=$(cd "$root/../shared/corpus/songs" && pwd)
out=$root/docs/images
work=$(mktemp -d "${TMPDIR:-/tmp}/tavro-frames.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# frame NAME SONG SECONDS [STYLE]: the frame at SECONDS of SONG as docs/images/NAME.png
frame() {
  local name=$1 song=$2 at=$3 style=${4:-}
  local args=("$song" --frames "$work/$name" --start "$at" --seconds 0.04 --no-crowd --scale 2)
  [ -n "$style" ] && args+=(--style "$style")
  (cd "$program" && ./tavro-render "${args[@]}") > "$work/$name.log" 2>&1 ||
    { echo "make_stage_frames: $name failed:"; tail -n 3 "$work/$name.log"; return 1; }
  pngquant 256 --speed 1 --strip --force --output "$out/$name.png" "$work/$name/frame-000000.png"
  echo "$name: $(grep -o 'audio start [0-9]* ms, [0-9]* artists' "$work/$name.log" || true)"
}

# The band on three corpus songs, two moments each.
frame stage-endgame-1 "$corpus/avgvst__Endgame.mid" 30
frame stage-endgame-2 "$corpus/avgvst__Endgame.mid" 75
frame stage-poppunk-1 "$corpus/avgvst__PopPunk.mid" 25
frame stage-poppunk-2 "$corpus/avgvst__PopPunk.mid" 60
frame stage-crossing-1 "$corpus/avgvst__CrossingTheRubicon.mid" 35
frame stage-crossing-2 "$corpus/avgvst__CrossingTheRubicon.mid" 68

# The second band: harp, strings and flute; brass and reeds; synth lead, pads and the DJ.
frame stage-orchestra-1 "$corpus/openmsx__linns_basket.mid" 40
frame stage-orchestra-2 "$corpus/openmsx__linns_basket.mid" 120
frame stage-brass-1 "$corpus/yubatake__Town.mid" 30
frame stage-brass-2 "$corpus/yubatake__Town.mid" 80
frame stage-synth-1 "$corpus/freedoom__d_dm10.mid" 40
frame stage-synth-2 "$corpus/freedoom__d_dm10.mid" 110

# One corpus song in each style, and the same moment as a frame of a 1080p video.
for style in Rock Jazz Classic Electronic Pop; do
  name=style-$(echo "$style" | tr 'A-Z' 'a-z')
  frame "$name" "$corpus/avgvst__Endgame.mid" 45 "$style"
  (cd "$program" && ./tavro-render "$corpus/avgvst__Endgame.mid" --frames "$work/$name-1080p" \
    --start 45 --seconds 0.04 --no-crowd --style "$style" --size 1920x1080) \
    > "$work/$name-1080p.log" 2>&1 ||
    { echo "make_stage_frames: $name-1080p failed:"; tail -n 3 "$work/$name-1080p.log"; exit 1; }
  convert "$work/$name-1080p/frame-000000.png" -strip -quality 88 "$out/$name-1080p.jpg"
done
