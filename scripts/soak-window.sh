#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# A soak of the window, not part of the suite:
#   scripts/soak-window.sh [RUNS [SEED]]
# RUNS times in a row (200 by default) the window starts on its settings file
# and package list, loads them, updates the simulated camera from the
# package it selects and exits through "Exit", answering Yes to "Save
# package list?" (tests/soak/window_soak_run.cpp drives it, offscreen).
# Between runs the settings file and the list take random damage: cut short,
# a byte changed, garbage appended, a byte-order mark put in front, emptied,
# replaced by random bytes, by a folder, by a symlink loop or a dangling
# link, moved into a dotfiles folder and linked, or deleted; in about every
# other run each is first put back as it was at first.
#
# A run crashed when the window's program did not end through Exit (a
# signal, an exception, an update that never ended). A list was lost when
# what it held before a run is afterwards neither the list itself, nor a file
# moved aside that a message of the run named, nor, for a list read whole,
# in the list the run saved (every path of it still there). Prints one line
# per run that went wrong and the figures; keeps what went wrong in
# build/soak-findings/; exits 1 when anything was found.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-200}
seed=${2:-$$}
[[ $runs =~ ^[1-9][0-9]*$ && $seed =~ ^[0-9]+$ ]] || {
  echo "usage: $0 [RUNS [SEED]]" >&2
  exit 2
}
RANDOM=$seed

scripts/install-deps.sh test
cmake -S . -B build -DTARNWICK_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tarnwick-window-soak-run tarnwick-camsim tarnwick-mkpkg >/dev/null

tools=$PWD/build/tools
driver=$PWD/build/tests/soak/tarnwick-window-soak-run
findings=$PWD/build/soak-findings
rm -rf "$findings"
mkdir -p "$findings"
source scripts/camera-workspace.sh
open_workspace

export HOME=$work/home XDG_CONFIG_HOME=$work/config TARNWICK_PORTS=$work/ports
folder=$XDG_CONFIG_HOME/Vornix/Tarnwick
settings=$folder/Settings.reg
list=$folder/Tarnwick.packages.xml
dotfiles=$work/dotfiles
mkdir -p "$HOME" "$dotfiles"

start_camera "$work/camera.out"
head -c 20000 /dev/urandom >"$work/uc.bin"
head -c 3000 /dev/urandom >"$work/Corvel1b-2.01.bin"
"$tools/tarnwick-mkpkg" "$work/soak.xml" --name "Soak 1.05" --item Corvel::uC "$work/uc.bin" \
  --item-version 1.05 >/dev/null
# The first state: the camera's port, the package file selected, and a
# package of the user's own beside it.
write_window_profile "$XDG_CONFIG_HOME" "$camera_port" "Soak 1.05" "$work/soak.xml" 1
printf '<config>\r\n<package updpackage="1">\r\n<name>Soak 1.05</name>\r\n<files>0</files>\r\n<path>%s</path>\r\n</package>\r\n<package updpackage="0">\r\n<name>Lab set</name>\r\n<files>1</files>\r\n<file>\r\n<id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id>\r\n<name>Corvel::uC</name>\r\n<path>%s</path>\r\n</file>\r\n</package>\r\n</config>\r\n' \
  "$work/soak.xml" "$work/Corvel1b-2.01.bin" >"$list"
cp "$settings" "$work/first-settings"
cp "$list" "$work/first-list"

# Puts the file back as it was at first, whatever took its place.
restore() {
  local file=$1 first=$2
  rm -rf "$file"
  cp "$first" "$file"
}

# Damages the file in one of several ways; sets damaged to which. It runs in
# this shell, not a subshell, so that a seed gives the same choices again
# (the random bytes written differ).
damage() {
  local file=$1 kinds=(cut flip flip append bom empty garbage folder loop dangling linked delete)
  local name size value byte
  damaged=none
  ((RANDOM % 2 == 0)) && damaged=${kinds[RANDOM % ${#kinds[@]}]}
  name=$(basename "$file")
  # The byte damages need a file to damage (a symlink's target will do).
  if [[ $damaged =~ ^(cut|flip|append|bom)$ ]] && ! [ -f "$file" ]; then
    damaged=none
  fi
  case $damaged in
    cut)
      size=$(stat -L -c %s "$file")
      truncate -s $((RANDOM % (size + 1))) "$(readlink -f "$file")"
      ;;
    flip)
      size=$(stat -L -c %s "$file")
      value=$((RANDOM % 256))
      byte=$(printf '\\x%02x' "$value")
      if ((size > 0)); then
        printf "$byte" | dd of="$(readlink -f "$file")" bs=1 seek=$((RANDOM % size)) conv=notrunc status=none
      fi
      ;;
    append) head -c $((RANDOM % 64 + 1)) /dev/urandom >>"$file" ;;
    bom) { printf '\xef\xbb\xbf'; cat "$file"; } >"$work/bom" && cat "$work/bom" >"$file" ;;
    empty) rm -rf "$file" && : >"$file" ;;
    garbage) rm -rf "$file" && head -c $((RANDOM % 512)) /dev/urandom >"$file" ;;
    folder) rm -rf "$file" && mkdir "$file" ;;
    loop) rm -rf "$file" && ln -s "$name" "$file" ;;
    dangling) rm -rf "$file" && ln -s "$dotfiles/missing-$name" "$file" ;;
    linked)
      if [ -f "$file" ] && ! [ -L "$file" ]; then
        mv "$file" "$dotfiles/$name" && ln -s "$dotfiles/$name" "$file"
      else
        damaged=none
      fi
      ;;
    delete) rm -rf "$file" ;;
  esac
}

asides() {
  find "$folder" "$dotfiles" -maxdepth 1 -name 'Tarnwick.packages.xml.unreadable-*' | sort
}

# Every path the list held before the run is in the list now.
paths_kept() {
  local path
  while IFS= read -r path; do
    grep -aqF -- "$path" "$list" 2>/dev/null || return 1
  done < <(grep -ao '<path>[^<]*</path>' "$work/before" || true)
}

# What the list held before the run is still to be had: in place, moved
# aside with a message naming it, or rewritten with every path it held.
list_kept() {
  local aside
  cmp -s "$work/before" "$list" 2>/dev/null && return 0
  while IFS= read -r aside; do
    if cmp -s "$work/before" "$aside" && grep -qF "kept as\\n$aside" "$work/run.out"; then
      return 0
    fi
  done < <(comm -13 "$work/asides-before" <(asides))
  paths_kept
}

crashes=0 lost=0 moved=0 programmed=0 links_cut=0 temporaries=0
for run in $(seq "$runs"); do
  # Each file is put back as it was at first in about every other run (the
  # list always once it lacks the camera's package), else keeps what the
  # last run left; then it is damaged in about every other run.
  ((RANDOM % 2 == 0)) && restore "$settings" "$work/first-settings"
  if ((RANDOM % 2 == 0)) || ! grep -qs 'Soak 1.05' "$list"; then
    restore "$list" "$work/first-list"
  fi
  damage "$list"
  list_damage=$damaged
  damage "$settings"
  settings_damage=$damaged
  rm -f "$work/before"
  [ -f "$list" ] && cp -L "$list" "$work/before" 2>/dev/null
  linked_before=no
  [ -L "$list" ] && [ -f "$list" ] && linked_before=yes
  asides >"$work/asides-before"

  status=0
  timeout 200 "$driver" "$settings" >"$work/run.out" 2>"$work/run.err" || status=$?

  problem=
  if ((status != 2)); then
    crashes=$((crashes + 1))
    problem="crashed with status $status"
  fi
  grep -q '^update: Programmed$' "$work/run.out" && programmed=$((programmed + 1))
  moved=$((moved + $(grep -c 'is kept as' "$work/run.out" || true)))
  if [ -s "$work/before" ] && ! list_kept; then
    lost=$((lost + 1))
    problem="$problem list lost"
  fi
  if [ "$linked_before" = yes ] && ! [ -L "$list" ]; then
    links_cut=$((links_cut + 1))
    problem="$problem link cut"
  fi
  left=$(find "$folder" "$dotfiles" -maxdepth 1 -name '*.tmp-??????' | wc -l)
  if ((left > 0)); then
    temporaries=$((temporaries + left))
    problem="$problem $left temporary file(s) left"
    find "$folder" "$dotfiles" -maxdepth 1 -name '*.tmp-??????' -delete
  fi
  if [ -n "$problem" ]; then
    echo "run $run (list $list_damage, settings $settings_damage):$problem"
    mkdir -p "$findings/run-$run"
    cp "$work/run.out" "$work/run.err" "$findings/run-$run/"
    [ -f "$work/before" ] && cp "$work/before" "$findings/run-$run/list-before"
  fi
done

echo "$runs runs (seed $seed): $crashes crashes, $lost lists lost, $moved lists moved aside with a message," \
  "$programmed updates programmed, $links_cut links cut, $temporaries temporary files left"
((crashes + lost + links_cut + temporaries == 0))
