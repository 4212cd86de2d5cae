#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, builds (release with debug info), and runs the
# benchmarks: all of them, or those named (crc, image, package, startup,
# history, window-startup, window-stall, transfer, backup, parallel). Each figure
# is printed beside its reference measured in the same run. The window's
# benchmarks need no display: they run on Qt's offscreen platform unless
# QT_QPA_PLATFORM names another. The transfer runs a real 115200 bit/s line for
# about three minutes, the backup for a minute and a half, the parallel update
# for three minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
# The references measured against: xmllint, and GNU time for peak memory.
scripts/install-deps.sh test libxml2-utils time

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target tarnwick-bench tarnwick-cli
build/bench/tarnwick-bench "$@"
