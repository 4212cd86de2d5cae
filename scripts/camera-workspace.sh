# SPDX-License-Identifier: GPL-2.0-or-later
# Sourced by the scripts that run the simulated camera and the window: a
# temporary workspace, the camera, the demo's package and the check of the
# flash it leaves, and a fresh profile that starts the window with the camera
# as its port and one package in its list.

# Sets work to a new temporary folder; at exit the camera is stopped and the
# folder removed.
open_workspace() {
  work=$(mktemp -d)
  camera_pid=
  trap close_workspace EXIT
}

close_workspace() {
  [ -n "$camera_pid" ] && kill "$camera_pid" 2>/dev/null && wait "$camera_pid" 2>/dev/null
  rm -rf "$work"
}

# Writes the settings file and the package list of the profile.
#
# write_window_profile CONFIG_HOME PORT PACKAGE_NAME PACKAGE_FILE EXPERT_MODE
write_window_profile() {
  local folder=$1/Vornix/Tarnwick port=$2 name=$3 package=$4 expert=$5
  mkdir -p "$folder"
  printf '; Tarnwick settings\n[Settings]\n"ComPort"=dword:%08x\n"ComBps"=dword:%08x\n"SavePackages"=dword:00000000\n"LastPackage"="%s"\n"ExpertMode"=dword:%08x\n' \
    "$port" 115200 "$name" "$expert" >"$folder/Settings.reg"
  printf '<config>\r\n<package updpackage="1">\r\n<name>%s</name>\r\n<files>0</files>\r\n<path>%s</path>\r\n</package>\r\n</config>\r\n' \
    "$name" "$package" >"$folder/Tarnwick.packages.xml"
}

# Starts $tools/tarnwick-camsim on a pseudo-terminal in the background; sets
# camera_pid and camera_port. The output goes to the file named first; the
# other arguments go to the camera.
start_camera() {
  local out=$1
  shift
  "$tools/tarnwick-camsim" "$@" >"$out" 2>&1 </dev/null &
  camera_pid=$!
  for _ in $(seq 50); do
    [ -s "$out" ] && break
    sleep 0.1
  done
  local alias device
  read -r alias device <"$out"
  camera_port=${alias#COM}
  echo "Simulated camera on $alias ($device)"
}

# Stops the camera started last, which saves its flash when it was given one.
stop_camera() {
  kill "$camera_pid"
  wait "$camera_pid" 2>/dev/null || true
  camera_pid=
}

# Writes $work/demo.xml with $tools/tarnwick-mkpkg: a boot loader, a
# microcontroller program and an FPGA image as a build of the camera's
# firmware would leave them.
make_demo_package() {
  head -c 12000 /dev/urandom >"$work/bootloader.bin"
  head -c 300000 /dev/urandom >"$work/corvel-uc.bin"
  head -c 100001 /dev/urandom >"$work/corvel.rbf"
  "$tools/tarnwick-mkpkg" "$work/demo.xml" --name "Corvel demo 2.12" \
    --item Corvel::Bootloader "$work/bootloader.bin" --item-version 2.12 \
    --item Corvel::uC "$work/corvel-uc.bin" --item-version 1.05 \
    --item Corvel::FPGA "$work/corvel.rbf" --item-version 1.00
}

# Checks that the flash the camera saved in $work/flash.bin holds each image
# of the demo package in its region, and 8 bytes before the region's end its
# length rounded up to even; fails at the first that does not.
check_demo_flash() {
  check_flash Corvel::Bootloader "$work/bootloader.bin" 0x0 0x4000 &&
    check_flash Corvel::uC "$work/corvel-uc.bin" 0x10000 0xF0000 &&
    check_flash Corvel::FPGA "$work/corvel.rbf" 0x100000 0x40000
}

# check_flash NAME FILE START REGION
check_flash() {
  local name=$1 file=$2 start=$3 region=$4
  local size length
  size=$(stat -c %s "$file")
  if ! cmp -s -n "$size" -i "0:$start" "$file" "$work/flash.bin"; then
    echo "$name: the flash at 0x$(printf %08X "$start") does not hold the image"
    return 1
  fi
  length=$(od -An -tu4 -j $((start + region - 8)) -N4 "$work/flash.bin" | tr -d ' ')
  if ((length != (size + 1) / 2 * 2)); then
    echo "$name: the length word at the end of its region is $length, not $size rounded up to even"
    return 1
  fi
  printf '%-20s at 0x%08X: %s, length word %s\n' "$name" "$start" "programmed ($size bytes)" "$length"
}
