#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Configures and builds into build/ (Release with debug info); further
# arguments go to cmake's configure step, such as -DTARNWICK_TESTS=OFF.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR=ON "$@" >/dev/null
cmake --build build -j"$(nproc)"
