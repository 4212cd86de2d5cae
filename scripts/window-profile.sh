# Sourced by the scripts that open the window: writes the settings file and
# the package list of a fresh profile, so the window starts with the
# simulated camera as its port and one package in its list.
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

# Starts tarnwick-camsim on a pseudo-terminal in the background; sets
# camera_pid and camera_port. Arguments go to the camera.
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
