#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# usage: command_line_test.sh TARNWICK VERSION
# Runs the program with no display at all; a case that would open the window
# instead of answering runs into the time limit and fails.
set -uo pipefail
program=$1 version=$2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
failed=0

# expect STATUS PATTERN ARGUMENT...: the exit status, and a line of the
# output (standard output and error) that the extended regex matches.
expect() {
  local status=$1 pattern=$2 output actual
  shift 2
  output=$(timeout 20 "$program" "$@" 2>&1)
  actual=$?
  if [[ $actual -ne $status ]] || ! grep -qE -- "$pattern" <<<"$output"; then
    echo "tarnwick $*: status $actual, expected $status and a line matching '$pattern'; output:"
    echo "$output"
    failed=1
  fi
}

expect 0 "^tarnwick $version\$" --version
expect 0 "^tarnwick $version\$" -v
expect 0 "^Usage: .*tarnwick \[options\]" --help
expect 0 "--version +Displays version information" -h
# Qt's one-dash words are not read as bundles of -h, -v and the like.
expect 0 "^tarnwick $version\$" -platform offscreen -stylesheet none.qss --version
# Past Qt's options, an unknown one is refused before any window opens.
expect 1 "Unknown option 'no-such-option'" -platform offscreen -reverse --no-such-option
exit "$failed"
