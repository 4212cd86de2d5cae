#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
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
for file in share/man/man1/tarnwick-cli.1 share/applications/tarnwick.desktop \
            share/icons/hicolor/scalable/apps/tarnwick.svg; do
  [ -f "$prefix/$file" ] || { echo "install: $file is missing"; exit 1; }
done
echo "install: the installed tarnwick-cli reads a package made by the installed tarnwick-mkpkg"

# Short libFuzzer runs of the package readers (clang build of its own);
# their output goes to a log that is shown only when a run finds something.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTARNWICK_FUZZ=ON -DTARNWICK_TESTS=OFF \
  -DTARNWICK_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_xml_load_text fuzz_package_text >/dev/null
for target in fuzz_xml_load_text fuzz_package_text; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  if ! build-fuzz/fuzz/$target -max_total_time=20 -rss_limit_mb=2048 -artifact_prefix=build-fuzz/ \
       "$corpus" fuzz/corpus/$target >build-fuzz/$target.log 2>&1; then
    tail -n 40 build-fuzz/$target.log
    echo "$target: found a fault (input saved in build-fuzz/)"
    exit 1
  fi
  echo "$target: $(grep -o 'Done [0-9]* runs' build-fuzz/$target.log), no findings"
done
