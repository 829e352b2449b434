#!/usr/bin/env bash
# Takes the manual's screenshots from the real program: runs tavro on the demo songs under Xvfb
# (with a private PulseAudio on a null sink, so the built-in synthesizer has somewhere to play),
# switches the lower view by clicking the transport's view buttons with xdotool, opens the settings
# and artists dialogs, and saves the window and the dialogs as PNG files in data/help/images/
# (quantised with pngquant). Builds nothing.
#   tools/manual/screenshots.sh [PROGRAM_DIR]    (default: build/release/program)
# Needs xvfb-run, ImageMagick's import, xdotool and pngquant (scripts/setup --art-tools).
# The images are only replaced when every screenshot was taken.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

if [ "${1:-}" = "--inside" ]; then
  inside=1
  program=$2
  work=$3
else
  inside=0
  program=$(cd "${1:-build/release/program}" 2>/dev/null && pwd || true)
fi

fail() {
  echo "screenshots: $*" >&2
  exit 1
}

if ((!inside)); then
  [ -n "$program" ] && [ -x "$program/tavro" ] ||
    fail "no program in ${1:-build/release/program} (build the release preset first)"
  for tool in xvfb-run import xdotool pngquant; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup --art-tools installs it)"
  done
  work=$(mktemp -d /tmp/tavro-screenshots-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/run" "$work/config" "$work/shots"
  chmod 700 "$work/run"
  # A private runtime and configuration folder: no sound server, window place or profile of the
  # user's is seen or changed; JACK is never started.
  export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config JACK_NO_START_SERVER=1
  export PULSE_SERVER=unix:$work/run/pulse/native
  xvfb-run -a -s "-screen 0 1100x800x24" "$0" --inside "$program" "$work" ||
    fail "the screenshots could not be taken (see above); data/help/images left as it was"
  mkdir -p data/help/images
  for shot in "$work"/shots/*.png; do
    pngquant --force --skip-if-larger --strip --speed 1 --output "data/help/images/$(basename "$shot")" \
      -- "$shot" || cp "$shot" "data/help/images/$(basename "$shot")"
  done
  ls -l data/help/images
  exit 0
fi

# --- inside Xvfb ---
tavro_pid=
pulse_pid=
cleanup() {
  [ -n "$tavro_pid" ] && kill "$tavro_pid" 2>/dev/null && wait "$tavro_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT

if command -v pulseaudio >/dev/null; then
  pulseaudio --system=no --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
    --realtime=no --high-priority=no --log-target=stderr --log-level=error \
    "--load=module-null-sink sink_name=tavro_manual" \
    "--load=module-native-protocol-unix auth-anonymous=1" 2>"$work/pulse.log" &
  pulse_pid=$!
  for _ in $(seq 50); do
    [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break
    sleep 0.2
  done
fi

window=
left=0
top=0
width=0
height=0

# Starts tavro with the given files and waits for its window (at most 60 s).
start() {
  "$program/tavro" "$@" >"$work/tavro.log" 2>&1 &
  tavro_pid=$!
  window=
  for _ in $(seq 120); do
    kill -0 "$tavro_pid" 2>/dev/null || fail "tavro ended at once: $(tail -n 5 "$work/tavro.log")"
    # The main window is the widest one of that name (the wait box may carry it too).
    width=0
    for id in $(xdotool search --onlyvisible --name '^Tavro' 2>/dev/null || true); do
      eval "$(xdotool getwindowgeometry --shell "$id")"
      if ((WIDTH > width)); then
        window=$id left=$X top=$Y width=$WIDTH height=$HEIGHT
      fi
    done
    ((width >= 821)) && break
    window=
    sleep 0.5
  done
  [ -n "$window" ] || fail "no tavro window within 60 s"
}

stop() {
  kill "$tavro_pid" 2>/dev/null || true
  wait "$tavro_pid" 2>/dev/null || true
  tavro_pid=
}

# Clicks a button of the transport bar: its place inside the bar (the window centres its
# 821 x 684 content; the bar starts at 233, 647 of it).
click_transport() {
  local x=$((left + (width - 821) / 2 + 233 + $1 + 12))
  local y=$((top + (height - 684) / 2 + 647 + 3 + 12))
  xdotool mousemove "$x" "$y" click 1
  xdotool mousemove 1 1  # no tooltip over the picture
}

shoot() {
  import -window root "$work/full.png"
  convert "$work/full.png" -crop "${width}x${height}+${left}+${top}" +repage "$work/shots/$1"
  echo "screenshots: $1 (${width}x${height})"
}

demo=$root/data/demo
[ -f "$demo/demo.m3u" ] || fail "no demo playlist in data/demo"

# A dialog of that title (at most 10 s): sets dialog, dleft, dtop, dwidth, dheight.
find_dialog() {
  dialog=
  for _ in $(seq 50); do
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null || true); do
      eval "$(xdotool getwindowgeometry --shell "$id")"
      dialog=$id dleft=$X dtop=$Y dwidth=$WIDTH dheight=$HEIGHT
    done
    [ -n "$dialog" ] && return 0
    sleep 0.2
  done
  fail "no \"$1\" dialog"
}

shoot_dialog() {
  import -window root "$work/full.png"
  convert "$work/full.png" -crop "${dwidth}x${dheight}+${dleft}+${dtop}" +repage "$work/shots/$1"
  echo "screenshots: $1 (${dwidth}x${dheight})"
}

# The demo playlist: its first song with the mixer, then the playlist view.
start "$demo/demo.m3u"
sleep 25  # the band walks on and plays
shoot mixer.png
click_transport 195  # playlist
sleep 1
shoot playlist.png
# The settings dialog (the tool bar's second button) and, from it, the artists dialog.
xdotool mousemove $((left + (width - 821) / 2 + 54)) $((top + (height - 684) / 2 + 16)) click 1
find_dialog '^Settings$'
xdotool mousemove 1 1
sleep 1
shoot_dialog settings.png
# "Artists available..." sits at (300, 34)-(450, 58) of the tab page, which starts below the tab
# bar at about (12, 38) of the dialog.
xdotool mousemove $((dleft + 12 + 375)) $((dtop + 38 + 46)) click 1
find_dialog '^Artists available'
xdotool mousemove 1 1
sleep 1
shoot_dialog artists.png
stop

# The karaoke song with its words.
start "$demo/lantern.kar"
sleep 2
click_transport 287  # karaoke
sleep 28
shoot karaoke.png
stop
