#!/usr/bin/env bash
# The real program under Xvfb: starts tavro with a demo song on its command line (with a private
# PulseAudio on a null sink when there is one), takes a screenshot after 3 s and checks that the
# stage shows the band, clicks stop, closes the window as a window manager does (WM_DELETE_WINDOW)
# and answers "Really quit?" with Yes by key; tavro must exit with status 0 within 2 s. On the
# 1920 x 1080 screen, F11 shows the paused stage over the whole width between black bars (the same
# picture as in the window) and Esc brings the window back as it was.
#   xvfb_test.sh PROGRAM_DIR WM_CLOSE [SONG]
# Exit status 77 (skipped) when Xvfb, xdotool or ImageMagick is missing.
set -uo pipefail
program=$(cd "$1" && pwd)
wm_close=$(realpath "$2")
song=${3:-$program/demo/rock.mid}
for tool in Xvfb xdpyinfo xdotool import convert; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is missing (scripts/setup installs it)"; exit 77; }
done

work=$(mktemp -d /tmp/tavro-xvfb-test.XXXXXX)
mkdir -p "$work/run" "$work/config"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config HOME=$work JACK_NO_START_SERVER=1
export PULSE_SERVER=unix:$work/run/pulse/native
unset QT_QPA_PLATFORM
xvfb_pid= pulse_pid= tavro_pid=
cleanup() {
  for pid in $tavro_pid $pulse_pid $xvfb_pid; do
    kill "$pid" 2> /dev/null && wait "$pid" 2> /dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/tavro.log" ] && tail -n 20 "$work/tavro.log"; exit 1; }

# A display of our own: Xvfb picks a free number itself and writes it, with a newline, to
# -displayfd; the display is used once a client can connect to it.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3> "$work/display" > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
for _ in $(seq 100); do
  kill -0 "$xvfb_pid" 2> /dev/null || break
  if [ "$(tail -c 1 "$work/display" 2> /dev/null | od -An -c | tr -d ' ')" = '\n' ]; then
    candidate=$(head -n 1 "$work/display")
    xdpyinfo -display ":$candidate" > /dev/null 2>&1 && display=$candidate && break
  fi
  sleep 0.1
done
[ -n "$display" ] || { echo "SKIP: Xvfb did not start: $(cat "$work/xvfb.log")"; exit 77; }
export DISPLAY=:$display

if command -v pulseaudio > /dev/null; then
  pulseaudio --system=no --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
    --realtime=no --high-priority=no --log-target=stderr --log-level=error \
    "--load=module-null-sink sink_name=tavro_xvfb_test" \
    "--load=module-native-protocol-unix auth-anonymous=1" 2> "$work/pulse.log" &
  pulse_pid=$!
  for _ in $(seq 50); do
    [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break
    sleep 0.1
  done
fi

cd "$work" || exit 1
"$program/tavro" "$song" > "$work/tavro.log" 2>&1 &
tavro_pid=$!
# The main window once the song is loaded: its title then carries the song's name (at most 30 s).
window= width=0
for _ in $(seq 150); do
  kill -0 "$tavro_pid" 2> /dev/null || fail "tavro ended at once"
  for id in $(xdotool search --onlyvisible --name "^Tavro - $(basename "$song")\$" 2> /dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if ((WIDTH > width)); then window=$id left=$X top=$Y width=$WIDTH height=$HEIGHT; fi
  done
  ((width >= 821)) && break
  width=0
  sleep 0.2
done
((width >= 821)) || fail "no tavro window playing $(basename "$song") within 30 s"
# The container of 821 x 684 is centred in the window.
cx=$((left + (width - 821) / 2))
cy=$((top + (height - 684) / 2))

sleep 3
import -window root "$work/screen.png" || fail "no screenshot"
# The stage: 815 x 400 at (3, 32) of the container. 3 s after the song opened the stage picture is still
# dark (the show fades in) while the band walking on is lit: count the lit pixels on the floor
# (the lower half, below the lights and the back wall), and check that the stage is not the plain
# panel.
stage="-crop 815x400+$((cx + 3))+$((cy + 32)) +repage"
floor="-crop 815x200+$((cx + 3))+$((cy + 232)) +repage"
lit=$(convert "$work/screen.png" $floor -fuzz 3% -fill black -opaque 'rgb(49,58,58)' -colorspace HSV -channel B -separate -threshold 15% \
  -format '%[fx:round(mean*w*h)]' info:)
panel() {
  convert "$1" $stage -fuzz 3% -fill white -opaque 'rgb(49,58,58)' -fill black +opaque white \
    -format '%[fx:round(100*mean)]' info:
}
echo "stage after 3 s: $lit lit pixels on the floor, $(panel "$work/screen.png") % panel"
((lit >= 800)) || { cp "$work/screen.png" /tmp/tavro-xvfb-test-failed.png; fail "no band on the stage (kept /tmp/tavro-xvfb-test-failed.png)"; }
(($(panel "$work/screen.png") < 20)) || fail "the stage shows the plain panel while playing"

# Full screen: pause (Space), keep the stage as the window shows it, F11. There is no window
# manager, so the program covers the screen itself. The stage fills the width: 815 x 400 times
# 1920 / 815 is 1920 x 942 at y 69, black above and below.
geometry() { xdotool getwindowgeometry "$window" | awk '/Geometry/ { print $2 }'; }
xdotool windowfocus --sync "$window" 2> /dev/null
xdotool key space
sleep 0.5
import -window root "$work/paused.png" || fail "no screenshot"
convert "$work/paused.png" $stage "$work/paused-stage.png"
xdotool key F11
for _ in $(seq 50); do
  [ "$(geometry)" = 1920x1080 ] && break
  sleep 0.1
done
[ "$(geometry)" = 1920x1080 ] || fail "F11 did not cover the screen (the window is $(geometry))"
sleep 0.5
import -window root "$work/full.png" || fail "no screenshot"
brightest() { convert "$work/full.png" -crop "$1" +repage -format '%[fx:round(255*maxima)]' info:; }
(($(brightest 1920x69+0+0) == 0 && $(brightest 1920x69+0+1011) == 0)) ||
  fail "the bars above and below the full-screen stage are not black"
# The stage region brought back to 815 x 400 is the picture the window showed.
convert "$work/full.png" -crop 1920x942+0+69 +repage -resize '815x400!' "$work/full-stage.png"
psnr=$(compare -metric PSNR "$work/paused-stage.png" "$work/full-stage.png" null: 2>&1 | cut -d' ' -f1)
echo "full screen: the stage over the width, PSNR $psnr dB against the window's stage"
awk -v p="$psnr" 'BEGIN { exit !(p == "inf" || p >= 25) }' ||
  { cp "$work/full.png" /tmp/tavro-xvfb-test-full.png; fail "the full-screen stage is not the window's (kept /tmp/tavro-xvfb-test-full.png)"; }
xdotool key Escape
for _ in $(seq 50); do
  [ "$(geometry)" = "${width}x${height}" ] && break
  sleep 0.1
done
[ "$(geometry)" = "${width}x${height}" ] || fail "Esc did not bring the window back (it is $(geometry))"
xdotool key space

# Stop (the transport's third button, x 63-86 of the transport at (233, 647)): the stage goes
# back to the plain panel.
xdotool mousemove $((cx + 233 + 74)) $((cy + 647 + 19)) click 1
xdotool mousemove 1 1
sleep 1
import -window root "$work/stopped.png" || fail "no screenshot"
stopped=$(panel "$work/stopped.png")
echo "stage after stop: $stopped % panel"
((stopped >= 95)) || { cp "$work/stopped.png" /tmp/tavro-xvfb-test-stopped.png; fail "the stage still shows frames after stop"; }

# Close as a window manager does, then "Yes" (its key) in "Really quit?".
"$wm_close" "$tavro_pid" "Tavro - $(basename "$song")" || fail "the window could not be asked to close"
question=
for _ in $(seq 50); do
  question=$(xdotool search --onlyvisible --name '^Tavro$' 2> /dev/null | head -n 1)
  [ -n "$question" ] && break
  sleep 0.1
done
[ -n "$question" ] || fail "no \"Really quit?\" 5 s after the close request"
# Waits for tavro to end, at most 2 s after "$asked" (ns), and leaves its exit status in $status.
await_exit() {
  while kill -0 "$tavro_pid" 2> /dev/null; do
    (($(date +%s%N) - asked < 2000000000)) || fail "tavro still runs 2 s after $1"
    sleep 0.05
  done
  status=0
  wait "$tavro_pid" || status=$?
  tavro_pid=
}
kill -0 "$tavro_pid" 2> /dev/null || fail "tavro ended without asking"
xdotool windowfocus --sync "$question" 2> /dev/null
xdotool key y
asked=$(date +%s%N)
await_exit '"Yes"'
echo "tavro ended with status $status after $((($(date +%s%N) - asked) / 1000000)) ms"
[ "$status" -eq 0 ] || fail "exit status $status"
echo "window under Xvfb OK"
