# SPDX-License-Identifier: GPL-2.0-or-later
# Sourced by the scripts that run the simulated camera and the window: a
# temporary workspace, the camera, and a fresh profile that starts the window
# with the camera as its port and one package in its list.

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
