#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the libFuzzer targets (clang with the address and undefined-behaviour
# sanitizers, in build-fuzz/) and runs each for the given time, one after
# the other:
#   scripts/fuzz.sh MINUTES [TARGET...]
#   scripts/fuzz.sh --seconds SECONDS [TARGET...]
# Every target of fuzz/ runs unless targets are named. A target starts from
# its seeds in fuzz/corpus/<target>/ and the corpus it grew before in
# build-fuzz/corpus/<target>/. An input that crashes, leaks or hangs is kept
# in build-fuzz/findings/<target>/ and the run's log beside it. Prints one
# line per target; exits 1 when anything was found.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: $0 MINUTES [TARGET...] | $0 --seconds SECONDS [TARGET...]" >&2
  exit 2
}

if [[ ${1:-} == --seconds ]]; then
  seconds=${2:-}
  shift 2 || usage
else
  minutes=${1:-}
  [[ $minutes =~ ^[0-9]+$ ]] || usage
  seconds=$((minutes * 60))
  shift
fi
[[ $seconds =~ ^[0-9]+$ && $seconds -gt 0 ]] || usage

targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi

scripts/install-deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTARNWICK_FUZZ=ON -DTARNWICK_TESTS=OFF \
  -DTARNWICK_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}" >/dev/null

found=0
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  findings=build-fuzz/findings/$target
  log=$findings/run.log
  mkdir -p "$corpus" "$findings" "fuzz/corpus/$target"
  # An input may take at most 25 s: a reader that hangs is a finding too.
  if build-fuzz/fuzz/$target -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    verdict="no findings"
  else
    found=1
    tail -n 40 "$log"
    verdict="FOUND a fault, input saved in $findings/"
  fi
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  echo "$target: $runs runs in ${seconds} s, $verdict"
done
exit "$found"
