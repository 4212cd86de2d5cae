#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Prints, for each folder of the program, the other folders whose headers it
# includes: the direction of the layers' dependencies, as the code has it.
set -euo pipefail
cd "$(dirname "$0")/.."
folders=(common link packages settings engine history tools cli ui app)
for folder in "${folders[@]}"; do
  used=()
  for header in $(grep -rhoE '#include "[^"]+"' "$folder" | sed -E 's/#include "(.*)"/\1/' | sort -u); do
    for other in "${folders[@]}"; do
      [[ $other != "$folder" && -e $other/$header ]] && used+=("$other")
    done
  done
  printf '%-9s -> %s\n' "$folder" "$(printf '%s\n' "${used[@]}" | sort -u | xargs)"
done
