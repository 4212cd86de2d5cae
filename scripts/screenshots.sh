#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Screenshots of the real window under Xvfb, for the README: both views, the
# Settings dialog, the About box, and the progress window while an update
# waits for the simulated camera, the window after the update with its
# outcome, and the message when the camera goes away while connected; a user's
# package with its items, a loaded package, the property list editing and
# browsing, and the two package dialogs. Writes docs/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
# An X server, a window manager for the title bars, key presses and shots.
scripts/install-deps.sh test xvfb xauth openbox xdotool imagemagick
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
mkdir -p "$work/fw"
head -c 250000 /dev/urandom >"$work/fw/Corvel1b-2.01.bin"
head -c 180000 /dev/urandom >"$work/fw/corvel2c-1.05.rbf"

# A user's package of two items in front of the loaded one, selected at start.
write_user_package() {
  local list=$XDG_CONFIG_HOME/Vornix/Tarnwick/Tarnwick.packages.xml
  local loaded
  loaded=$(tail -c +11 "$list")
  printf '<config>\r\n<package updpackage="0">\r\n<name>Lab set</name>\r\n<files>2</files>\r\n' >"$list"
  printf '<file>\r\n<id>%s</id>\r\n<name>%s</name>\r\n<path>%s</path>\r\n</file>\r\n' \
    "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}" Corvel::uC "$work/fw/Corvel1b-2.01.bin" \
    "{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}" Corvel::FPGA "$work/fw/corvel2c-1.05.rbf" >>"$list"
  printf '</package>\r\n%s' "$loaded" >>"$list"
  sed -i 's/^"LastPackage"=.*/"LastPackage"="Lab set"/' "$XDG_CONFIG_HOME/Vornix/Tarnwick/Settings.reg"
}

# One session of the X server per view, with a window manager for the title
# bars; each shot is the screen trimmed to the windows on it.
cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
view=$1
openbox >/dev/null 2>&1 &
# The window manager takes a moment to start; a window mapped before it
# may not be found as visible.
sleep 1
"$program" &
window_pid=$!
if ! timeout 30 xdotool search --sync --onlyvisible --name "^Tarnwick v" >/dev/null; then
  echo "the window did not open" >&2
  exit 1
fi
sleep 2
shot() { import -window root -trim +repage "$docs/$1.png"; echo "docs/$1.png"; }
press() { xdotool search --name "^Tarnwick v" windowfocus --sync key "$@"; sleep 1; }
# A click at a point of the window's template, in its dialog units (460 x 300).
click() {
  local id
  id=$(xdotool search --onlyvisible --name "^Tarnwick v" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove --window "$id" $(($1 * WIDTH / 460)) $(($2 * HEIGHT / 300)) click 1
  sleep 1
}
if [ "$view" = packages ]; then
  # The first item row, then the property list's "Version" and "File".
  click 40 69 && shot user-package
  click 200 131 && press Down Down Down Tab && shot property-list-edit
  press Escape Down && shot property-list-browse
  click 36 114 && shot available-items-dialog && xdotool key Escape && sleep 0.5
  press alt+n && xdotool type --delay 50 "Field kit" && sleep 0.5 && shot new-package-dialog
  xdotool key Escape && sleep 0.5
  click 120 24 && xdotool key Up Return && sleep 1 && click 40 69 && shot loaded-package
  kill "$window_pid"
  exit 0
fi
shot "window-$view"
if [ "$view" = advanced ]; then
  press alt+s && shot settings-dialog && xdotool key Escape && sleep 0.5
  press F1 && shot about-box && xdotool key Escape && sleep 0.5
  press alt+u && sleep 2 && shot progress-window
  # The camera answers at 6 s; the images are written within moments, and
  # the destination fields show what the checks read for the selected item.
  sleep 6 && click 40 69 && shot update-done
  # "Connect...", and the camera goes away once it has answered.
  click 390 271 && sleep 7
  kill "$camera_pid" && sleep 1 && shot link-lost
  xdotool key Return && sleep 0.5
fi
kill "$window_pid"
SESSION
export program docs camera_pid
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Corvel demo 2.12" "$work/demo.xml" 1
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" advanced
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Corvel demo 2.12" "$work/demo.xml" 1
write_user_package
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" packages
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Corvel demo 2.12" "$work/demo.xml" 0
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" basic
