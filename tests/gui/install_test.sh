#!/usr/bin/env bash
# The installed program: installs a build into a fresh prefix and runs it from an unrelated folder
# with its own HOME and XDG_CONFIG_HOME. Checks the layout (binaries, modules, read-only data,
# desktop entry, MIME description, icons, man pages), that no binary points back into the build,
# that tavro-render makes a 2 s video of a demo song (checked with ffprobe), that tavro-inspect
# reads one, that the window (offscreen) keeps its profile in $XDG_CONFIG_HOME/tavro when told to
# stop, and that nothing was written into the prefix.
#   install_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/tavro-install-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failed=0
fail() { echo "FAIL: $*"; failed=1; }

if ! cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

for file in bin/tavro-render bin/tavro-inspect lib/tavro/audio.so lib/tavro/libovatix.so \
  share/tavro/config/animation.xml share/tavro/artists/artists.xml share/tavro/help/index.html \
  share/tavro/demo/demo.m3u share/man/man1/tavro-render.1 share/man/man1/tavro-inspect.1; do
  [ -f "$prefix/$file" ] || fail "$file not installed"
done
gui=0
if [ -x "$build/program/tavro" ]; then
  gui=1
  for file in bin/tavro share/applications/tavro.desktop share/mime/packages/tavro.xml \
    share/icons/hicolor/scalable/apps/tavro.svg share/icons/hicolor/48x48/apps/tavro.png \
    share/icons/hicolor/256x256/apps/tavro.png share/man/man1/tavro.1; do
    [ -f "$prefix/$file" ] || fail "$file not installed"
  done
  grep -q '^Exec=tavro %F$' "$prefix/share/applications/tavro.desktop" || fail "desktop Exec line"
  grep -q 'glob pattern="\*.kesh"' "$prefix/share/mime/packages/tavro.xml" || fail "MIME glob"
fi
# Every data file is read-only; the installed tree must not be copied back into the build.
writable=$(find "$prefix/share/tavro" -type f -perm /222 | head -n 3)
[ -z "$writable" ] || fail "writable data files: $writable"
# ...in folders that their owner may change, so that a user's own install can be removed.
locked=$(find "$prefix/share/tavro" -type d ! -perm -u=w | head -n 3)
[ -z "$locked" ] || fail "data folders without the owner's write bit: $locked"
for binary in "$prefix"/bin/* "$prefix"/lib/tavro/*.so; do
  if readelf -d "$binary" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -q "$build"; then
    fail "$binary keeps a path into the build folder"
  fi
done

# Everything the programs may write goes below $work/home; the prefix is compared afterwards.
(cd "$prefix" && find . -printf '%p %s %T@\n' | sort) > "$work/before.txt"
mkdir -p "$work/elsewhere" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/runtime
export JACK_NO_START_SERVER=1
cd "$work/elsewhere" || exit 1
song=$prefix/share/tavro/demo/rock.mid

if ! timeout 120 "$prefix/bin/tavro-render" "$song" -o show.mp4 --seconds 2 \
  > "$work/render.log" 2>&1; then
  cat "$work/render.log"
  fail "installed tavro-render failed"
elif ! command -v ffprobe > /dev/null; then
  echo "ffprobe missing: the video is not checked"
else
  probe=$(ffprobe -v error -show_entries stream=codec_type,width,height:format=duration \
    -of default=noprint_wrappers=1 show.mp4)
  grep -q '^codec_type=video$' <<< "$probe" || fail "no video stream: $probe"
  grep -q '^codec_type=audio$' <<< "$probe" || fail "no audio stream: $probe"
  grep -q '^width=816$' <<< "$probe" || fail "video width: $probe"
  duration=$(echo "$probe" | sed -n 's/^duration=//p')
  awk -v d="$duration" 'BEGIN { exit !(d >= 1.9 && d <= 2.2) }' || fail "duration $duration"
fi
"$prefix/bin/tavro-inspect" "$song" > "$work/inspect.log" 2>&1 || fail "installed tavro-inspect"

if ((gui)); then
  QT_QPA_PLATFORM=offscreen "$prefix/bin/tavro" "$song" > "$work/tavro.log" 2>&1 &
  pid=$!
  sleep 3
  kill -TERM "$pid"
  status=0
  for _ in $(seq 50); do
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2> /dev/null; then
    kill -KILL "$pid"
    fail "tavro still runs 5 s after SIGTERM"
  fi
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { cat "$work/tavro.log"; fail "tavro exit status $status after SIGTERM"; }
  grep -q "could not be loaded" "$work/tavro.log" && fail "installed tavro found no player module"
  [ -f "$XDG_CONFIG_HOME/tavro/game.xml" ] || fail "no profile in \$XDG_CONFIG_HOME/tavro"
fi

(cd "$prefix" && find . -printf '%p %s %T@\n' | sort) > "$work/after.txt"
diff "$work/before.txt" "$work/after.txt" > "$work/changes.txt" || fail "the prefix changed:
$(head -n 10 "$work/changes.txt")"
[ -z "$(ls -A "$work/elsewhere" | grep -v '^show.mp4$')" ] || \
  fail "files left in the current folder: $(ls -A "$work/elsewhere")"

((failed)) && exit 1
echo "installed program OK"
