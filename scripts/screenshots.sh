#!/usr/bin/env bash
# Screenshots of the real window under Xvfb, for the README: both views, the
# Settings dialog, the About box, and the progress window while an update
# waits for the simulated camera, and the window after the update. Writes
# docs/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
wanted=(xvfb xauth imagemagick xdotool openbox)
missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
cmake -S . -B build -DTARNWICK_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tarnwick tarnwick-camsim tarnwick-mkpkg

tools=$PWD/build/tools
program=$PWD/build/app/tarnwick
docs=$PWD/docs
work=$(mktemp -d)
camera_pid=
cleanup() {
  [ -n "$camera_pid" ] && kill "$camera_pid" 2>/dev/null && wait "$camera_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source scripts/window-profile.sh

export HOME=$work/home XDG_CONFIG_HOME=$work/config TARNWICK_PORTS=$work/ports
mkdir -p "$HOME" "$docs"
# The camera answers only after a few seconds, so the progress window can be
# seen waiting for the reset.
start_camera "$work/camera.out" --ready-delay 6000
head -c 12000 /dev/urandom >"$work/bootloader.bin"
head -c 300000 /dev/urandom >"$work/corvel-uc.bin"
"$tools/tarnwick-mkpkg" "$work/demo.xml" --name "Corvel demo 2.12" \
  --item Corvel::Bootloader "$work/bootloader.bin" --version 2.12 \
  --item Corvel::uC "$work/corvel-uc.bin" --version 1.05 >/dev/null

# One session of the X server per view, with a window manager for the title
# bars; each shot is the screen trimmed to the windows on it.
cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
view=$1
openbox >/dev/null 2>&1 &
"$program" &
window_pid=$!
xdotool search --sync --onlyvisible --name "^Tarnwick v" >/dev/null
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
