#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Puts each small fault of scripts/mutations.tsv into a copy of the tree, one
# at a time, builds it and runs the suite, and reports whether the suite
# failed (caught) or passed (missed). The working tree is never touched.
# Usage: scripts/mutation-check.sh [NAME...]   (no names: every fault)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" test python3 rsync
work=${TARNWICK_MUTATION_DIR:-$root/build-mutants}
mkdir -p "$work"
# By content, and with fresh times on what changed, so that a fault left in a
# file by an earlier run is rebuilt away.
rsync -rlp --checksum --delete --exclude '/build*' --exclude '/.git' "$root/" "$work/tree/"
cmake -S "$work/tree" -B "$work/build" -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_WERROR=OFF >/dev/null
exec python3 "$root/scripts/mutation_check.py" "$root/scripts/mutations.tsv" "$work" "$@"
