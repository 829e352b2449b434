#!/bin/sh
# Runs the MIDI reader fuzzer (fuzz preset) for SECONDS (default 300), seeded from the shared test
# corpus, which is copied into a scratch folder and never committed.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-300}
corpus="$root/fuzz/corpus-midi"
mkdir -p "$corpus"
if [ -d "$root/../shared/corpus" ]; then
  find "$root/../shared/corpus" -type f \( -name '*.mid' -o -name '*.kar' -o -name '*.midi2' \) \
    -exec cp -n {} "$corpus/" \;
fi
exec "$root/build/fuzz/fuzz/audio/audio_midi_fuzzer" -max_total_time="$seconds" -max_len=262144 \
  -rss_limit_mb=2048 "$corpus"
