#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, builds, and updates a simulated camera: the
# camera serves a pseudo-terminal, the package tool packs three images, and
# tarnwick-cli runs the whole update against it. Where a display is at hand,
# the window then opens with a fresh camera as its port and the demo package
# in its list, for "Update camera..." by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
scripts/build.sh -DTARNWICK_TESTS=OFF

tools=$PWD/build/tools
cli=$PWD/build/cli
source scripts/camera-workspace.sh
open_workspace

# Ports and settings of the demo stay in its own folder.
export TARNWICK_PORTS=$work/ports XDG_CONFIG_HOME=$work/config

start_camera "$work/camera.out" --flash "$work/flash.bin"
port=$camera_port

make_demo_package
"$cli/tarnwick-cli" inspect "$work/demo.xml"

echo
echo "tarnwick-cli update demo.xml --port $port --bps 115200"
"$cli/tarnwick-cli" update "$work/demo.xml" --port "$port" --bps 115200 </dev/null

# The camera saves its flash when it ends; compare it with the images.
stop_camera
echo
check_demo_flash

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exit 0
fi
echo
echo "Opening the window: press \"Update camera...\" to update a fresh simulated camera"
echo "on a line paced at 115200 bit/s, as a real camera's would be."
start_camera "$work/camera-window.out" --ready-delay 2000 --bps 115200
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Corvel demo 2.12" "$work/demo.xml" 1
build/app/tarnwick || true
