#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# usage: completion_test.sh BASH_COMPLETION COMPLETION CLI CAMSIM MKPKG
# Completes command lines of the built tarnwick-cli as bash would, with a
# simulated camera serving a port and a package of two items on disk.
set -uo pipefail
source "$1"
source "$2"
cli=$3 camsim=$4 mkpkg=$5

work=$(mktemp -d)
camera_pid=
trap '[ -n "$camera_pid" ] && kill "$camera_pid"; wait; rm -rf "$work"' EXIT
export TARNWICK_PORTS=$work/ports XDG_CONFIG_HOME=$work/config
"$camsim" --port 231 >"$work/camera.out" </dev/null &
camera_pid=$!
for _ in $(seq 100); do
  [ -s "$work/camera.out" ] && break
  sleep 0.05
done
read -r _ device <"$work/camera.out"
head -c 2000 /dev/urandom >"$work/uc.bin"
"$mkpkg" "$work/pkg.xml" --item Corvel::uC "$work/uc.bin" --item Corvel::FPGA "$work/uc.bin" >/dev/null

failed=0
# expect LINE EXPECTED: the sorted completions of LINE, whose last word is
# the one being completed (empty when LINE ends with a space).
expect() {
  local line=$1 expected=$2 actual
  COMP_LINE="$cli $line"
  COMP_POINT=${#COMP_LINE}
  read -ra COMP_WORDS <<<"$COMP_LINE"
  [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tarnwick_cli
  actual=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  if [[ $actual != "$expected" ]]; then
    echo "tarnwick-cli $line<TAB>: '$actual', expected '$expected'"
    failed=1
  fi
}

expect "up" "update"
expect "i" "identify info inspect"
expect "--v" "--version"
expect "program $work/pkg.xml --" "--bps --help --item --json --port --skip-verify"
expect "program $work/pkg.xml --item " "Corvel::FPGA Corvel::uC"
expect "check --port 231 $work/pkg.xml --item " "Corvel::FPGA Corvel::uC"
expect "erase --item " ""
expect "info --port 23" "231"
expect "info --port $device" "$device"
expect "update $work/pkg.xml --bps " ""
expect "inspect $work/pk" "$work/pkg.xml"
exit "$failed"
