#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo against the simulated camera.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/tools/tarnwick-demo
