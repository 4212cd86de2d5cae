#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

# Short libFuzzer runs of every target (clang build of its own, in
# build-fuzz/); a run that finds something shows its log and fails.
scripts/fuzz.sh --seconds 10
