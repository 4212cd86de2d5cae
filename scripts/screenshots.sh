#!/usr/bin/env bash
# Screenshots of the real window under Xvfb, for the README: both views, the
# Settings dialog, the About box, and the progress window while an update
# waits for the simulated camera, and the window after the update. Writes
# docs/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
# An X server, a window manager for the title bars, key presses and shots.
scripts/install-deps.sh xvfb xauth openbox xdotool imagemagick
cmake -S . -B build -DTARNWICK_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tarnwick tarnwick-camsim tarnwick-mkpkg

tools=$PWD/build/tools
program=$PWD/build/app/tarnwick
docs=$PWD/docs
source scripts/camera-workspace.sh
open_workspace

export HOME=$work/home XDG_CONFIG_HOME=$work/config TARNWICK_PORTS=$work/ports
mkdir -p "$HOME" "$docs"
# The camera answers only after a few seconds, so the progress window can be
# seen waiting for the reset.
start_camera "$work/camera.out" --ready-delay 6000
head -c 12000 /dev/urandom >"$work/bootloader.bin"
head -c 300000 /dev/urandom >"$work/corvel-uc.bin"
"$tools/tarnwick-mkpkg" "$work/demo.xml" --name "Corvel demo 2.12" \
  --item Corvel::Bootloader "$work/bootloader.bin" --item-version 2.12 \
  --item Corvel::uC "$work/corvel-uc.bin" --item-version 1.05 >/dev/null

# One session of the X server per view, with a window manager for the title
# bars; each shot is the screen trimmed to the windows on it.
cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
view=$1
openbox >/dev/null 2>&1 &
"$program" &
window_pid=$!
if ! timeout 30 xdotool search --sync --onlyvisible --name "^Tarnwick v" >/dev/null; then
  echo "the window did not open" >&2
  exit 1
fi
sleep 2
shot() { import -window root -trim +repage "$docs/$1.png"; echo "docs/$1.png"; }
press() { xdotool search --name "^Tarnwick v" windowfocus --sync key "$@"; sleep 1; }
shot "window-$view"
if [ "$view" = advanced ]; then
  press alt+s && shot settings-dialog && xdotool key Escape && sleep 0.5
  press F1 && shot about-box && xdotool key Escape && sleep 0.5
  press alt+u && sleep 2 && shot progress-window
  # The camera answers at 6 s; the images are written within moments, and
  # the destination fields keep what the last checks read.
  sleep 6 && shot update-done
fi
kill "$window_pid"
SESSION
export program docs
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Corvel demo 2.12" "$work/demo.xml" 1
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" advanced
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Corvel demo 2.12" "$work/demo.xml" 0
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" basic
