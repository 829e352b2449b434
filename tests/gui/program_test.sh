#!/usr/bin/env bash
# The real tavro (offscreen) where a user's setup is hostile or unusual:
#  - hostile playlists (a folder entry, 100,000 missing songs, a 10 MB line): the window keeps
#    going and SIGTERM ends it with status 0 within 2 s, whatever the playlist run is doing;
#  - run through a link to the program and through a link to its folder: the player module and
#    the data are found, and the song plays;
#  - a player module without its entry point: the window starts and tells why there is no sound.
#   program_test.sh PROGRAM_DIR ENTRYLESS_MODULE
set -uo pipefail
program=$(cd "$1" && pwd)
entryless=$(realpath "$2")
song=$program/demo/rock.mid

work=$(mktemp -d /tmp/tavro-program-test.XXXXXX)
mkdir -p "$work/run" "$work/config"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config HOME=$work JACK_NO_START_SERVER=1
export QT_QPA_PLATFORM=offscreen
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/tavro.log" ] && tail -n 20 "$work/tavro.log"; exit 1; }

# Starts tavro (the program given, then its arguments) in the background, logging to tavro.log.
start() {
  rm -f "$work/tavro.log"  # never read the last run's log for this one's
  "$@" > "$work/tavro.log" 2>&1 &
  pid=$!
}
# Waits until the log holds the pattern (at most 60 s: a hang, not a measure).
await_log() {
  for _ in $(seq 600); do
    grep -q -- "$1" "$work/tavro.log" 2> /dev/null && return 0
    kill -0 "$pid" 2> /dev/null || fail "tavro ended before logging \"$1\""
    sleep 0.1
  done
  fail "no \"$1\" in the log within 60 s"
}
# SIGTERM, then tavro must end with status 0 within 2 s.
terminate() {
  kill -TERM "$pid" 2> /dev/null || fail "tavro ended early ($1)"
  local asked
  asked=$(date +%s%N)
  while kill -0 "$pid" 2> /dev/null; do
    (($(date +%s%N) - asked < 2000000000)) || fail "tavro still runs 2 s after SIGTERM ($1)"
    sleep 0.02
  done
  local status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM ($1)"
  echo "$1: ended $((($(date +%s%N) - asked) / 1000000)) ms after SIGTERM"
}

# --- hostile playlists ---
mkdir -p "$work/lists/folder.mid"
printf 'folder.mid\n' > "$work/lists/folder.m3u"
for _ in $(seq 50); do echo folder.mid; done >> "$work/lists/folder.m3u"
awk 'BEGIN { for (i = 0; i < 100000; i++) printf "missing-%d.mid\n", i }' > "$work/lists/missing.m3u"
{ head -c $((10 << 20)) /dev/zero | tr '\0' 'x'; printf '.mid\n%s\n' "$song"; } > "$work/lists/long.m3u"
for list in folder missing; do
  start "$program/tavro" "$work/lists/$list.m3u"
  await_log "...creating infrastructure"
  sleep 1
  terminate "$list.m3u"
done
start "$program/tavro" "$work/lists/long.m3u"
await_log "^initialized"
terminate "long.m3u"
grep -q "lines of long.m3u were left out" "$work/tavro.log" || fail "the long line was not reported"

# --- through links ---
ln -s "$program/tavro" "$work/tavro-link"
start "$work/tavro-link" "$song"
await_log "^initialized"
terminate "a link to the program"
grep -q "could not be loaded" "$work/tavro.log" && fail "no player module through a link to the program"
ln -s "$program" "$work/program-link"
start "$work/program-link/tavro" "$song"
await_log "^initialized"
terminate "a link to the program folder"
grep -q "could not be loaded" "$work/tavro.log" && fail "no player module through a linked folder"

# --- a player module without "InterfaceQuery" ---
mkdir "$work/broken"
cp "$program/tavro" "$work/broken/"
cp "$entryless" "$work/broken/audio.so"
for data in config artists styles help demo; do ln -s "$program/$data" "$work/broken/$data"; done
start "$work/broken/tavro"
await_log "could not be loaded"
terminate "a module without its entry point"
grep -q "InterfaceQuery" "$work/tavro.log" || fail "the notice does not say what the module lacks"
echo "tavro on hostile playlists, through links and with a broken module OK"
