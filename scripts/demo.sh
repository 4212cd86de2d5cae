#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, builds, and updates a simulated camera: the
# camera serves a pseudo-terminal, the package tool packs three images, and
# tarnwick-cli runs the whole update against it. Where a display is at hand,
# the window then opens with a fresh camera as its port and the demo package
# in its list, for "Update camera..." by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

tools=$PWD/build/tools
cli=$PWD/build/cli
source scripts/camera-workspace.sh
open_workspace

# Ports and settings of the demo stay in its own folder.
export TARNWICK_PORTS=$work/ports XDG_CONFIG_HOME=$work/config

start_camera "$work/camera.out" --flash "$work/flash.bin"
port=$camera_port

# Three images as a build of the camera's firmware would leave them.
head -c 12000 /dev/urandom >"$work/bootloader.bin"
head -c 300000 /dev/urandom >"$work/corvel-uc.bin"
head -c 100000 /dev/urandom >"$work/corvel.rbf"
"$tools/tarnwick-mkpkg" "$work/demo.xml" --name "Corvel demo 2.12" \
  --item Corvel::Bootloader "$work/bootloader.bin" --item-version 2.12 \
  --item Corvel::uC "$work/corvel-uc.bin" --item-version 1.05 \
  --item Corvel::FPGA "$work/corvel.rbf" --item-version 1.00
"$cli/tarnwick-cli" inspect "$work/demo.xml"

echo
echo "tarnwick-cli update demo.xml --port $port --bps 115200"
"$cli/tarnwick-cli" update "$work/demo.xml" --port "$port" --bps 115200 </dev/null

# The camera saves its flash when it ends; compare it with the images.
kill "$camera_pid"
wait "$camera_pid" 2>/dev/null || true
camera_pid=
echo
check() {
  local name=$1 file=$2 start=$3 region=$4
  local size length
  size=$(stat -c %s "$file")
  if ! cmp -s -n "$size" -i "0:$start" "$file" "$work/flash.bin"; then
    echo "$name: the flash at 0x$(printf %08X "$start") does not hold the image"
    exit 1
  fi
  length=$(od -An -tu4 -j $((start + region - 8)) -N4 "$work/flash.bin" | tr -d ' ')
  printf '%-20s at 0x%08X: %s, length word %s\n' "$name" "$start" "programmed ($size bytes)" "$length"
}
check Corvel::Bootloader "$work/bootloader.bin" 0x0 0x4000
check Corvel::uC "$work/corvel-uc.bin" 0x10000 0xF0000
check Corvel::FPGA "$work/corvel.rbf" 0x100000 0x40000

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exit 0
fi
echo
echo "Opening the window: press \"Update camera...\" to update a fresh simulated camera"
echo "on a line paced at 115200 bit/s, as a real camera's would be."
start_camera "$work/camera-window.out" --ready-delay 2000 --bps 115200
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Corvel demo 2.12" "$work/demo.xml" 1
build/app/tarnwick || true
