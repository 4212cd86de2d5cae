#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/build.sh -DTARNWICK_TESTS=ON
ctest --test-dir build --output-on-failure -j"$(nproc)"

# The installed programs run from their prefix: the version, and a package
# made and read by the installed tools.
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" >/dev/null
"$prefix/bin/tarnwick-cli" --version
head -c 4000 /dev/urandom >"$prefix/uc.bin"
"$prefix/bin/tarnwick-mkpkg" "$prefix/check.xml" --name "Install check" --item Corvel::uC "$prefix/uc.bin" >/dev/null
"$prefix/bin/tarnwick-cli" inspect "$prefix/check.xml" | grep -q "Corvel::uC"
for file in bin/tarnwick share/man/man1/tarnwick{,-cli,-camsim,-mkpkg}.1 \
            share/applications/com.vornix.tarnwick.desktop share/metainfo/com.vornix.tarnwick.metainfo.xml \
            share/icons/hicolor/scalable/apps/tarnwick.svg share/icons/hicolor/{16x16,256x256}/apps/tarnwick.png \
            share/bash-completion/completions/tarnwick-cli; do
  [ -f "$prefix/$file" ] || { echo "install: $file is missing"; exit 1; }
done
echo "install: the installed tarnwick-cli reads a package made by the installed tarnwick-mkpkg"

# Short libFuzzer runs of every target (clang build of its own, in
# build-fuzz/); a run that finds something shows its log and fails.
scripts/fuzz.sh --seconds 10
